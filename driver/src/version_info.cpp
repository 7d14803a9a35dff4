// The library's version record, kept in a section of its own so that tools
// can read it from the file: file and product version 2.0.0.4.
namespace kvr7x {

extern const char kVersionRecord[];

__attribute__((used, section(".kvr7x_version"))) const char kVersionRecord[] =
    "FileVersion=2, 0, 0, 4\0"
    "ProductVersion=2, 0, 0, 4\0"
    "FileDescription=KVR7x 32-Bit Library \0"
    "InternalName=KVR7x\0"
    "OriginalFilename=libKVR7x.so.2\0"
    "ProductName=32-Bit Library for KVR7x Family of Smart Card Readers\0";

}  // namespace kvr7x
