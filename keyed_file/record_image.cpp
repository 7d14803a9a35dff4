#include "keyed_file/record_image.h"

#include <algorithm>
#include <cstddef>

namespace kvr::keyed {

std::string blankImageOf(const KeyedLayout &layout) {
    std::string blank(layout.recordSize, ' ');
    for (const KeyedField &field : layout.fields)
        if (field.kind == KeyedField::Kind::Int32 && field.offset < blank.size())
            blank.replace(field.offset, std::min(field.width, blank.size() - field.offset),
                          std::min(field.width, blank.size() - field.offset), '\0');
    return blank;
}

std::size_t keptLength(std::string_view image, std::string_view blank) {
    std::size_t kept = image.size();
    if (kept != blank.size()) return kept;
    while (kept > 0 && image[kept - 1] == blank[kept - 1]) --kept;
    return kept;
}

void restoreImage(std::string_view stored, std::string_view blank, std::vector<unsigned char> &image) {
    if (stored.size() >= blank.size()) {
        image.assign(stored.begin(), stored.end());
        return;
    }
    // One allocation, as for a record kept whole.
    image.resize(blank.size());
    const auto tail = std::copy(stored.begin(), stored.end(), image.begin());
    std::copy(blank.begin() + static_cast<std::ptrdiff_t>(stored.size()), blank.end(), tail);
}

std::string restoredImage(std::string_view stored, std::string_view blank) {
    std::string image(stored);
    if (stored.size() < blank.size()) image.append(blank.substr(stored.size()));
    return image;
}

}  // namespace kvr::keyed
