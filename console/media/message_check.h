#pragma once
// Whether the line engine will take a file as a message: the same check it
// makes when a run loads the message.

#include <QString>

namespace orvel {

bool engineAcceptsMessage(const QString& path);

}  // namespace orvel
