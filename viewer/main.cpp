// Vorlan: a live heap browser for a Java VM running the Vorlan agent.
#include <QApplication>

#include "startup.h"

int main(int argc, char** argv)
{
    QApplication app(argc, argv);  // takes its own arguments (-platform and the like) out of argv
    const ViewerWindows windows = startViewer(argc, argv);
    app.exec();
    return 0;
}
