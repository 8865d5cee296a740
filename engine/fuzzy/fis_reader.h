// Reader of the early text format of fuzzy inference systems (no Version
// line): a [System] section of ten positional lines, the inputs and outputs
// with their membership functions, and a [Rules] section. Any problem is
// reported through the log and the read fails; nothing is searched for
// beyond the end of the text.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "fuzzy/fis_model.h"

namespace orvel::fuzzy {

std::optional<FisDescription> parseFisText(std::string_view text,
                                           const FisLog& log = printFisMessage);
// "The file %s cannot be opened." when the file cannot be read.
std::optional<FisDescription> readFisFile(const std::string& path,
                                          const FisLog& log = printFisMessage);

}  // namespace orvel::fuzzy
