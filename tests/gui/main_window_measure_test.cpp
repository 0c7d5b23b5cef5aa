// Measuring in the view through real Ctrl+clicks, and the Mesh Data
// dialog's dimensions and budget.
#include <QLabel>

#include "gui/main_window_test.h"
#include "gui/viewer_fixture.h"
#include "view/picking.h"

using namespace kelvane;
using namespace kelvane::testing;

namespace {

// The pixel where a scene point is drawn in the window's view.
QPoint PixelOf(MainWindow& w, TVector3 scene) {
  const QWidget* view = w.Ui().glView;
  const auto at = ProjectToWindow(w.Frame().view, view->width(), view->height(), scene);
  if (!at) return {-1, -1};
  return {static_cast<int>((*at)[0]), static_cast<int>((*at)[1])};
}

void CtrlClick(MainWindow& w, TVector3 scene, bool snap) {
  const QPoint pixel = PixelOf(w, scene);
  QVERIFY2(w.Ui().glView->rect().contains(pixel), "the point is drawn inside the view");
  QTest::mouseClick(
      w.Ui().glView, Qt::LeftButton,
      snap ? Qt::ControlModifier | Qt::ShiftModifier : Qt::KeyboardModifiers(Qt::ControlModifier),
      pixel);
}

double Gap(const TVector3& a, const TVector3& b) {
  return std::sqrt(std::pow(a.x - b.x, 2) + std::pow(a.y - b.y, 2) + std::pow(a.z - b.z, 2));
}

}  // namespace

void MainWindowTest::measuringByCtrlClicks() {
  Viewer v;
  // 3 m wide, 16 m long, 4 m high in the mesh's axes (z up); in the view
  // x spans -1.5..1.5, y 0..4 and z -8..8.
  const fs::path box = WriteMeasuredBox(v.dir.path(), {-1.5f, -8, 0}, {1.5f, 8, 4}, {0, 0, 0});
  MainWindow& w = v.Start({box.string()});
  QVERIFY(v.Loaded());
  w.resize(1000, 800);
  QVERIFY(NextFrame(w));
  // Turned 30 degrees so that the front end and the right side both show.
  for (int i = 0; i < 15; ++i)
    QTest::keyClick(&w, Qt::Key_Right);
  QCOMPARE(w.Frame().view.RotY, -30.0f);

  // Nothing under the cursor: nothing is picked.
  QTest::mouseClick(w.Ui().glView, Qt::LeftButton, Qt::ControlModifier, QPoint(2, 2));
  QVERIFY(w.Frame().measure.Empty());
  QCOMPARE(w.Ui().statusLine->text(), QString("Nothing under the cursor to measure"));

  // A plain Ctrl+click lands on the front end's face.
  CtrlClick(w, {0.2f, 2.0f, 8.0f}, false);
  QVERIFY(w.Frame().measure.first && !w.Frame().measure.second);
  QVERIFY2(std::abs(w.Frame().measure.first->z - 8.0f) < 0.001f, "on the front face");
  QVERIFY(w.Ui().statusLine->text().startsWith("Measuring from "));
  QTest::keyClick(&w, Qt::Key_Escape);
  QVERIFY(w.Frame().measure.Empty());
  QVERIFY(!w.Ui().statusLine->text().startsWith("Measuring"));

  // Shift+Ctrl near the top left corner of the front end and near the
  // bottom back corner of the right side snap to the corners.
  CtrlClick(w, {-1.4f, 3.9f, 8.0f}, true);
  CtrlClick(w, {1.5f, 0.1f, -7.8f}, true);
  const Measurement& m = w.Frame().measure;
  QVERIFY(m.first && m.second);
  QVERIFY2(Gap(*m.first, {-1.5f, 4.0f, 8.0f}) < 1e-4, "first corner");
  QVERIFY2(Gap(*m.second, {1.5f, 0.0f, -8.0f}) < 1e-4, "second corner");
  QCOMPARE(
      w.Ui().statusLine->text(),
      QString("Distance 16.763 m (55 ft 0.0 in)   X 3.000 m (9 ft 10.1 in)   Y 16.000 m (52 ft "
              "5.9 in)   Z 4.000 m (13 ft 1.5 in)"));
  QVERIFY(NextFrame(w));

  // The same in the wire frame view.
  w.ShowAttachments();
  CtrlClick(w, {-1.4f, 3.9f, 8.0f}, true);
  QVERIFY(w.Frame().measure.first && !w.Frame().measure.second);
  QVERIFY2(Gap(*w.Frame().measure.first, {-1.5f, 4.0f, 8.0f}) < 1e-4, "corner in wire frame");

  // Opening the mesh again leaves the points behind.
  w.OpenPath(box);
  QVERIFY(NextFrame(w));
  QVERIFY(w.Frame().measure.Empty());
}

void MainWindowTest::measuringATraincar() {
  Viewer v;
  const auto sample = fixtures::WriteSampleTraincar(v.dir.path(), KELVANE_STANDIN);
  MainWindow& w = v.Start({sample.locomotive.string()});
  QVERIFY(IsTraincar(w) && v.Loaded());
  // Large enough that a pixel is a few centimetres of the car.
  w.resize(1000, 800);
  QVERIFY(NextFrame(w));
  // The body's upper corners on the side the car first shows, 15 m apart
  // along the track: in the view the body spans z -7.5..7.5, its top is at
  // 3.5 m and that side at x -1.45 m.
  CtrlClick(w, {-1.45f, 3.3f, 7.45f}, true);
  CtrlClick(w, {-1.45f, 3.3f, -7.45f}, true);
  const Measurement& m = w.Frame().measure;
  QVERIFY(m.first && m.second);
  QVERIFY2(Gap(*m.first, {-1.45f, 3.5f, 7.5f}) < 1e-4, "front corner");
  QVERIFY2(Gap(*m.second, {-1.45f, 3.5f, -7.5f}) < 1e-4, "back corner");
  QCOMPARE(w.Ui().statusLine->text(),
           QString("Distance 15.000 m (49 ft 2.6 in)   X 0.000 m (0 ft 0.0 in)   Y 15.000 m (49 ft "
                   "2.6 in)   Z 0.000 m (0 ft 0.0 in)"));
  QVERIFY(NextFrame(w));
}

void MainWindowTest::meshDataShowsDimensionsAndBudget() {
  Viewer v;
  const fs::path box = WriteMeasuredBox(v.dir.path(), {-1.5f, -8, 0}, {1.5f, 8, 4}, {0, 0, 0});
  MainWindow& w = v.Start({box.string()});
  QStringList dimensions, budget;
  w.Interaction().execDialog = [&](QDialog& dialog) {
    auto& data = dynamic_cast<MeshDataDialog&>(dialog);
    for (QLabel* l : data.dimensions)
      dimensions << l->text();
    for (QLabel* l : data.budgetValues)
      budget << l->text();
    return 0;
  };
  w.MeshData();
  QCOMPARE(dimensions, QStringList({"16.000 m (52 ft 5.9 in)", "3.000 m (9 ft 10.1 in)",
                                    "4.000 m (13 ft 1.5 in)"}));
  // One box: 12 triangles, one object and material, one draw, no texture.
  QCOMPARE(budget.size(), 6);
  QCOMPARE(budget[0], QString("12"));
  QCOMPARE(budget[2], QString("1"));
  QCOMPARE(budget[3], QString("1"));
  QCOMPARE(budget[4], QString("1"));
  QCOMPARE(budget[5], QString("0"));

  // The sample wagon's textures take bytes as uploaded.
  w.OpenPath(v.mesh);
  budget.clear();
  w.MeshData();
  QVERIFY2(budget[5].toLongLong() > 0, qPrintable(budget.join(", ")));
}
