// The program's own pictures (SVG in app/resources/), drawn sharp at any scale.
#pragma once

#include <QIcon>
#include <QString>

namespace tcu::settings {

// The picture :/tcu/artwork/<name>.svg as an icon with sizes from 16 to 128 pixels; an
// empty icon when the picture is missing.
QIcon artworkIcon(const QString& name);

} // namespace tcu::settings
