// Where the paper engine's records come from. The engine asks the logger's
// `enabled` before it builds a record.
#pragma once

#include "diagnostics/log_facade.hpp"

namespace tarvello::paper {

inline constexpr diagnostics::Channel kPaperChannel{"tarvello::paper", "quintor::core", true};

}  // namespace tarvello::paper
