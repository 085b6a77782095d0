#include "event_loop_watch.h"
#include "mainform.h"

#include <QApplication>
#include <QIcon>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    Mainform window; // compiles the resources in, the icon among them
    app.setWindowIcon(QIcon(QStringLiteral(":/Mainform/icons/varden_browser.png")));
    window.show();
    EventLoopWatch watch; // from here on: start-up may take its time
    return app.exec();
}
