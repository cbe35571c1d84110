// What the Qt backend's own files share, and nothing outside platform/qt
// includes.
#pragma once

#include <QString>
#include <string>

#include "platform/backend.h"

namespace qtbackend {

// Whether a layer window exists and is not destroyed.
bool alive(HWND h);
// A layer text (UTF-8) as a Qt string.
QString text(const std::string& s);
// Logical pixels to device pixels, rounded.
int toDevice(qreal logical, qreal ratio);
// The Qt cursor for a layer cursor shape.
Qt::CursorShape qtShape(CursorShape shape);

}  // namespace qtbackend
