#include <QApplication>
#include <QFile>

#include "main_window.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QString::fromLatin1(convert::kApplicationTitle));
    convert::F_SPECS window(QFile::encodeName(QApplication::applicationDirPath()).toStdString());
    window.show();
    return app.exec();
}
