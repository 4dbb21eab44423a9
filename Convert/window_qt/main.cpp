#include <QApplication>
#include <QFile>

#include "window_qt/main_window.h"
#include "window_shared/display_text.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QString::fromLatin1(convert::kApplicationTitle));
    convert::MainWindow window(QFile::encodeName(QApplication::applicationDirPath()).toStdString());
    window.show();
    return app.exec();
}
