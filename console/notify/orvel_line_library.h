#pragma once
// The real line library: every call goes to the export of liborvel.

#include <memory>

#include "notify/line_library.h"

namespace orvel {

std::unique_ptr<ILineLibrary> makeOrvelLineLibrary();

}  // namespace orvel
