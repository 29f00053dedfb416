#pragma once

class QWidget;
class QVBoxLayout;

// The picture, the title "Lumarin", "PJLink Class 1" and the version, shared by the splash window
// and the About box. Returns the layout that holds the texts, for what a window adds below.
QVBoxLayout *BuildTitlePanel(QWidget *window);
