// Parameters of one statement, all sent in libpq's binary form with their
// types named, so that record bytes and key values travel unchanged.
#ifndef KVR_KEYED_POSTGRES_PARAMS_H
#define KVR_KEYED_POSTGRES_PARAMS_H

#include <libpq-fe.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kvr::keyed::pg {

class Params {
public:
    Params &int4(std::int32_t value);
    Params &int8(std::int64_t value);
    Params &bytes(std::string_view value);
    Params &text(std::string_view value);  // UTF-8
    Params &nullOf(Oid type);
    // One array parameter of the column-th values of rows (all of one type,
    // none NULL), in the rows' order: "unnest($1, $2, ...)" turns such
    // arrays back into the rows.
    Params &arrayOf(const std::vector<Params> &rows, int column);

    int count() const { return static_cast<int>(types_.size()); }
    const Oid *types() const { return types_.data(); }
    // Valid until the next parameter is added.
    std::vector<const char *> values() const;
    const int *lengths() const { return lengths_.data(); }
    const int *formats() const { return formats_.data(); }

    static constexpr Oid kByteA = 17;
    static constexpr Oid kInt8 = 20;
    static constexpr Oid kInt4 = 23;
    static constexpr Oid kText = 25;
    static constexpr Oid kByteAArray = 1001;
    static constexpr Oid kInt4Array = 1007;
    static constexpr Oid kTextArray = 1009;
    static constexpr Oid kInt8Array = 1016;

private:
    Params &add(Oid type, std::string value, bool isNull);

    std::vector<Oid> types_;
    std::vector<std::string> storage_;
    std::vector<bool> null_;
    std::vector<int> lengths_;
    std::vector<int> formats_;
};

}  // namespace kvr::keyed::pg

#endif
