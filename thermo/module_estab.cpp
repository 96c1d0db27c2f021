#include "thermo/module_estab.hpp"

namespace c2m::estab {

std::array<float, table_size> esat{};

}  // namespace c2m::estab
