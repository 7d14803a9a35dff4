// A folder of its own for one test under the system's temporary folder,
// removed with everything in it when the object goes.
#ifndef KVR7X_TESTS_SCRATCH_FOLDER_H
#define KVR7X_TESTS_SCRATCH_FOLDER_H

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <system_error>

namespace kvr7x::test {

class ScratchFolder {
public:
    // The folder's name starts with `prefix` and ends in a unique suffix.
    explicit ScratchFolder(const std::string &prefix = "kvr7x-test") {
        std::string pattern = (std::filesystem::temp_directory_path() / (prefix + "-XXXXXX")).string();
        if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("no scratch folder " + pattern);
        path_ = pattern;
    }
    ~ScratchFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    ScratchFolder(const ScratchFolder &) = delete;
    ScratchFolder &operator=(const ScratchFolder &) = delete;

    const std::string &path() const { return path_; }

    // Writes `text` to `relative` inside the folder, making the folders on
    // the way.
    void write(const std::string &relative, const std::string &text) const {
        const std::filesystem::path file = std::filesystem::path(path_) / relative;
        std::filesystem::create_directories(file.parent_path());
        std::ofstream(file, std::ios::binary | std::ios::trunc) << text;
    }

private:
    std::string path_;
};

}  // namespace kvr7x::test

#endif
