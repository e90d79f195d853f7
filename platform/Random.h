// Random bytes from the operating system's cryptographic generator.
#pragma once

#include <cstddef>

namespace plat {

// Fills buf with n random bytes; false when the generator cannot be read.
bool randomBytes(void* buf, std::size_t n);

} // namespace plat
