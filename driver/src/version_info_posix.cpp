// The library's version record, kept in a section of its own so that tools
// can read it from the file: file and product version are the project's.
#include "kvr7x_version.h"

// The SONAME's number is the major version.
#define KVR7X_TEXT(x) #x
#define KVR7X_NUMBER_TEXT(x) KVR7X_TEXT(x)

namespace kvr7x {

extern const char kVersionRecord[];

__attribute__((used, section(".kvr7x_version"))) const char kVersionRecord[] =
    "FileVersion=" KVR7X_VERSION_RECORD "\0"
    "ProductVersion=" KVR7X_VERSION_RECORD "\0"
    "FileDescription=KVR7x 32-Bit Library \0"
    "InternalName=KVR7x\0"
    "OriginalFilename=libKVR7x.so." KVR7X_NUMBER_TEXT(KVR7X_VERSION_MAJOR) "\0"
    "ProductName=32-Bit Library for KVR7x Family of Smart Card Readers\0";

}  // namespace kvr7x
