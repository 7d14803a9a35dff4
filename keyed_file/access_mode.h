// Access modes of keyed files: the low digit is the access, the high one the
// sharing, as the operator's programs have always passed them.
//
//   access   0 read only, 1 write only (opened for reading and writing),
//            2 read and write
//   sharing  0 others may read and write (compatibility), 1 deny others
//            everything, 2 deny others writing, 3 deny others reading,
//            4 deny others nothing
#ifndef KVR_KEYED_ACCESS_MODE_H
#define KVR_KEYED_ACCESS_MODE_H

namespace kvr::keyed {

namespace access {
inline constexpr int kAccessMask = 0x0F;
inline constexpr int kReadOnly = 0x00;
inline constexpr int kWriteOnly = 0x01;
inline constexpr int kReadWrite = 0x02;

inline constexpr int kShareMask = 0xF0;
inline constexpr int kShareCompatible = 0x00;
inline constexpr int kDenyAll = 0x10;
inline constexpr int kDenyWrite = 0x20;
inline constexpr int kDenyRead = 0x30;
inline constexpr int kDenyNone = 0x40;
}  // namespace access

// What an access mode asks of an open.
struct OpenMode {
    bool write = false;      // open for reading and writing
    bool denyRead = false;   // no other process may read while it is open
    bool denyWrite = false;  // no other process may write while it is open
};

constexpr OpenMode openModeOf(int mode) {
    const int share = mode & access::kShareMask;
    return {(mode & access::kAccessMask) != access::kReadOnly, share == access::kDenyAll || share == access::kDenyRead,
            share == access::kDenyAll || share == access::kDenyWrite};
}

}  // namespace kvr::keyed

#endif
