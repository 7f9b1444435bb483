#include "shell/frmMAIN.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    fwb::frmMAIN window;
    window.show();
    return app.exec();
}
