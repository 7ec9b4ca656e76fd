#include "edition.h"
#include "imageviewer.h"
#include "loader.h"
#include "privatedirectory.h"
#include "terminationsignals.h"

#include <QApplication>
#include <QThreadPool>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    quitOnTerminationSignals();
    // Off the user-interface thread: the temporary folder may be crowded.
    QThreadPool::globalInstance()->start(removeStaleTempDirectories);
    raiseAllocationLimit();
    const QString edition = readEditionName();
    ImageViewer viewer(edition);
    viewer.show();
    return app.exec();
}
