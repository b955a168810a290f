// The decorated and command labels of the main window, created with their stored settings.
#pragma once

#include "controls/labels/CommandLabel.h"
#include "controls/labels/DecoratedLabel.h"

#include <QWidget>

namespace labels {

// The maker's home page and mail address: the build's settings ZARVEL_HOME_PAGE and
// ZARVEL_MAIL_ADDRESS (CMake cache variables).
inline constexpr const char* makerHomePage = ZARVEL_HOME_PAGE;
inline constexpr const char* makerMailAddress = ZARVEL_MAIL_ADDRESS;

// "欢迎光临：" at (313, 291), 65 x 17, without a frame.
DecoratedLabel* createHomePageCaption(QWidget* parent);
// "给我来信：" at (313, 311), 65 x 17, without a frame.
DecoratedLabel* createMailCaption(QWidget* parent);
// "Tellumar" at (399, 291), 64 x 16: opens the maker's home page.
CommandLabel* createHomePageLink(QWidget* parent);
// The maker's mail address at (379, 310), 115 x 16: starts a message to it.
CommandLabel* createMailLink(QWidget* parent);

} // namespace labels
