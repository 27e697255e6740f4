#include "startup.h"

ViewerWindows startViewer(int argc, const char* const* argv, int initialPort)
{
    ViewerWindows windows;
    windows.Form1 = std::make_unique<TForm1>(initialPort);

    ViewerOptions options;
    options.port = windows.Form1->client().port();
    parseCommandLine(joinArguments(argc > 0 ? argc - 1 : 0, argv + (argc > 0 ? 1 : 0)), options);

    if (options.debug == 1)
        windows.Form2 = std::make_unique<TForm2>();
    windows.Form1->configure(options, windows.Form2.get());
    return windows;
}
