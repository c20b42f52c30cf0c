#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>

#include <optional>

namespace platform {

// Reads a strings file ("key" = "value"; with /* */ and // comments, escapes \" \\ \n \t \r
// \0 \Uxxxx, unquoted keys and values of letters, digits and _.-/:, UTF-8 or UTF-16 with a
// byte-order mark). Gives nothing for a file that does not parse.
[[nodiscard]] std::optional<QHash<QString, QString>> parseStringsFile(const QByteArray& bytes);

}  // namespace platform
