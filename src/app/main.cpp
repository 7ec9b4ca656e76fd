#include "edition.h"
#include "imageviewer.h"
#include "loader.h"

#include <QApplication>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    raiseAllocationLimit();
    const QString edition = readEditionName();
    ImageViewer viewer(edition);
    viewer.show();
    return app.exec();
}
