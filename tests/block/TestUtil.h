#pragma once
// Helpers shared by the block store tests.
#include "block/BlkObj.h"
#include "kit/BlockKit.h"

#include <cstring>
#include <string>
#include <vector>

namespace vexa::blocktest {

// The message of the exception of type E that f raises; a marker text when f raises
// something else or nothing.
template <typename E, typename F>
std::string ThrownMessage(F&& f) {
    try {
        f();
    } catch (const E& e) {
        return e.what();
    } catch (const std::exception& e) {
        return std::string("<other exception: ") + e.what() + ">";
    }
    return "<no exception>";
}

template <typename T>
std::vector<unsigned char> RecordBytes(const T& rec) {
    const auto* p = reinterpret_cast<const unsigned char*>(&rec);
    return std::vector<unsigned char>(p, p + sizeof rec);
}

template <typename T>
bool AllZero(const T& rec) {
    for (unsigned char b : RecordBytes(rec))
        if (b != 0) return false;
    return true;
}

inline std::uint32_t U32At(const std::vector<unsigned char>& bytes, std::size_t offset) {
    std::uint32_t v;
    std::memcpy(&v, bytes.data() + offset, 4);
    return v;
}

// A block whose lines carry the given numbers (vertices 2 per line).
inline testkit::BlockSpec LinesNumbered(const std::vector<std::int32_t>& numbers) {
    testkit::BlockSpec content;
    double x = 0;
    for (std::int32_t n : numbers) {
        content.AddLine(n, 1, {{x, 0}, {x + 1, 1}});
        x += 10;
    }
    return content;
}

} // namespace vexa::blocktest
