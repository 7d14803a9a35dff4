#include "keyed_file/keyed_error.h"

namespace kvr::keyed {

std::string keyedErrorTextFor(int code) {
    switch (code) {
    case KeyedOk: return "";
    case KeyedNotFound: return "File Not Found";
    case KeyedAccessDenied: return "Access Denied";
    case KeyedLocked: return "File Is Already Locked";
    case KeyedNotAvailable: return "Record Not Available";
    case KeyedRecordNotFound: return "Record Not Found";
    case KeyedNotOpen: return "File Not Open";
    case KeyedRebuildKeys: return "Key File Must Be Rebuilt";
    case KeyedBadDeclaration: return "Invalid Record Declaration";
    case KeyedAlreadyOpen: return "File Already Open";
    case KeyedAlreadyExists: return "File Already Exists";
    case KeyedTransactionActive: return "Transaction Already Active";
    case KeyedNoTransaction: return "No Transaction Active";
    case KeyedChanged: return "Record Changed By Another Station";
    case KeyedSystemError: return "File System Error";
    default: return "Unknown Error";
    }
}

}  // namespace kvr::keyed
