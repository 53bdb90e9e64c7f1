// The kind of a top-level window as assistive technology sees it. Qt gives a window made
// from a plain QWidget the generic role of a client area, which reaches the accessibility
// bus as a "filler"; a window marked here reaches it as a "frame" (a main window) or a
// "dialog", named by its title (or by its accessible name, where one is set).
#pragma once

class QWidget;

enum class WindowRole { Frame, Dialog };

// Call first thing after the window is made: Qt keeps the first accessible interface it
// makes for a widget, and setting an accessible name makes one.
void SetWindowRole(QWidget *window, WindowRole role);
