#include "app/Pictures.h"

#include <QImageReader>

QPixmap pngPicture(const QString &resource)
{
    QImageReader reader(resource, "png");
    reader.setAutoDetectImageFormat(false);
    return QPixmap::fromImage(reader.read());
}
