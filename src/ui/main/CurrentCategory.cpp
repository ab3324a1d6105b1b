#include "ui/main/CurrentCategory.h"

QString& currentCategory()
{
    static QString value;
    return value;
}
