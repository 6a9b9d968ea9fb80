#pragma once

#include <QPixmap>
#include <QString>

// A PNG picture of the program's own resources, read as PNG without asking the image plugins
// whether they know the file: that question loads every plugin (GIF, JPEG, ICO, ...) into memory
// for good. A missing or damaged resource gives a null pixmap.
QPixmap pngPicture(const QString &resource);
