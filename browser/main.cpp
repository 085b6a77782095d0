#include "mainform.h"

#include <QApplication>
#include <QIcon>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    Mainform window; // compiles the resources in, the icon among them
    app.setWindowIcon(QIcon(QStringLiteral(":/Mainform/icons/varden_browser.png")));
    window.show();
    return app.exec();
}
