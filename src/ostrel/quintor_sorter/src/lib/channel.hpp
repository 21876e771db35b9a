// Where the ostrel engine's records come from.
#pragma once

#include "diagnostics/log_facade.hpp"

namespace tarvello::ostrel {

inline constexpr diagnostics::Channel kChannel{"tarvello::ostrel", "quintor_sorter", false};

}  // namespace tarvello::ostrel
