// The layout of a page that is one view under a line saying what it shows.
#pragma once

class QLabel;
class QWidget;

void layOutTitled(QWidget* page, QLabel* title, QWidget* body);
