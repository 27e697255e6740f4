#include "titled_page.h"

#include <QLabel>
#include <QVBoxLayout>

void layOutTitled(QWidget* page, QLabel* title, QWidget* body)
{
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 4, 0, 0);
    layout->setSpacing(3);
    title->setWordWrap(true);
    title->setContentsMargins(4, 0, 4, 0);
    layout->addWidget(title);
    layout->addWidget(body, 1);
}
