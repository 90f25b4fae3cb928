#pragma once

#include <QIcon>
#include <QPixmap>

// The program's picture: a house with a recorder's pulse line, drawn in code
// so no image file has to travel with the program.
QPixmap programIconPixmap(int size);
QIcon programIcon();
