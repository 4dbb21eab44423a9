#include <QApplication>
#include <QFile>

#include "display_text.h"
#include "main_window.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QString::fromLatin1(convert::kApplicationTitle));
    convert::MainWindow window(QFile::encodeName(QApplication::applicationDirPath()).toStdString());
    window.show();
    return app.exec();
}
