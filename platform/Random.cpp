#include "platform/Random.h"

#include <sys/random.h>

#include <cerrno>
#include <cstdint>

namespace plat {

bool randomBytes(void* buf, std::size_t n) {
    auto* p = static_cast<std::uint8_t*>(buf);
    while (n) {
        const ssize_t got = ::getrandom(p, n, 0);
        if (got < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        p += got;
        n -= static_cast<std::size_t>(got);
    }
    return true;
}

} // namespace plat
