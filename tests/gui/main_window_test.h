// The main window driven as a user would, with a temporary settings file:
// the test class, whose cases are defined in main_window_test.cpp and
// main_window_content_test.cpp.
#pragma once

#include <QObject>

#include "support/temp_dir.h"

class MainWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase();
  void startOpens_data();
  void startOpens();
  void meshOpensFramedAndArmsTheMouseLater();
  void firstStartRunsOpenWithSetUpOnce();
  void popupAndLocateTextureFollowTheState();
  void keysMatchModifiersExactly();
  void clickOnTheViewTakesTheKeys();
  void framesComeInBurstsAndOnlyAfterALoad();
  void numbersUseAPointWhateverTheLocale();
  void thumbnailIsTheViewAtThumbnailSize();
  void settingsAndThumbnailNameLastOverRestarts();
  void desktopShortcutsHelpAndIcon();
  void traincarOpensEndToEnd();
  void closingDuringALookupStopsItAndSaves();
  void failedLoadShowsNothingOld();
  void windowKeepsItsPlace();
  void withoutAContextFilesStillOpen();
  void droppedFilesOpen();
  void stepperWalksTheAttachmentPoints();
  void recentFilesKeepTheNewestEight();
  void texturesDialogListsHighlightsAndExports();
  void changedFilesReloadAndDamageKeepsTheLastPicture();

 private:
  kelvane::testing::TempDir scratch_;
};
