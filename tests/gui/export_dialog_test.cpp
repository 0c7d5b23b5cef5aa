// File > "Export glTF...": what the window's export writes, and what it
// says when there is nothing to write.
#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <QtTest>

#include "export/gltf_export.h"
#include "export_dialog.h"
#include "fixtures/sample_assets.h"
#include "session/content_session.h"
#include "support/glb_reader.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;
using namespace kelvane;

class ExportDialogTest : public QObject {
  Q_OBJECT

 private slots:
  void writesWhatIsOpenWithItsPictures() {
    testing::TempDir dir;
    fixtures::WriteSampleAssets(dir.path());
    ContentSession session({.keepPictures = true});
    QVERIFY(session.Open(dir / "wagon" / "wagon.im").loaded);
    const fs::path out = dir / "wagon.glb";
    QCOMPARE(ExportGltfDialog(nullptr, session, {}, [&] { return out; }), out);
    const auto glb = testing::ReadGlb(out);
    QVERIFY(glb.has_value());
    QCOMPARE(glb->document["meshes"].size(), std::size_t{8});
    QCOMPARE(glb->document["images"].size(), std::size_t{4});
  }

  void cancellingWritesNothing() {
    testing::TempDir dir;
    fixtures::WriteSampleAssets(dir.path());
    ContentSession session({.keepPictures = true});
    QVERIFY(session.Open(dir / "wagon" / "wagon.im").loaded);
    QVERIFY(ExportGltfDialog(nullptr, session, {}, [] { return fs::path(); }).empty());
    QCOMPARE(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
  }

  void nothingOpenIsSaidInAMessageBox() {
    testing::TempDir dir;
    ContentSession session({.keepPictures = true});
    QString said;
    // The message box is modal: read and close it once it shows, or give
    // up after five seconds.
    QTimer poll;
    QElapsedTimer waited;
    waited.start();
    QObject::connect(&poll, &QTimer::timeout, [&] {
      if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
        said = box->text();
        box->close();
      } else if (waited.elapsed() > 5000) {
        poll.stop();
        QApplication::exit(1);
      }
    });
    poll.start(20);
    QVERIFY(ExportGltfDialog(nullptr, session, {}, [&] { return dir / "x.glb"; }).empty());
    QVERIFY2(!said.isEmpty(), "no message box within 5 s");
    QCOMPARE(said, QString("Nothing is open to export."));
    QVERIFY(!fs::exists(dir / "x.glb"));
  }
};

QTEST_MAIN(ExportDialogTest)
#include "export_dialog_test.moc"
