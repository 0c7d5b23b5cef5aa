// The main window driven as a user would; cases in the two .cpp files.
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
  void bumpsOnlyNeedsTheCardsSupport();
  void keysMatchModifiersExactly();
  void clickOnTheViewTakesTheKeys();
  void framesComeInBurstsAndOnlyAfterALoad();
  void numbersUseAPointWhateverTheLocale();
  void thumbnailIsTheViewAtThumbnailSize();
  void settingsAndThumbnailNameLastOverRestarts();
  void desktopShortcutsHelpAndIcon();
  void traincarOpensEndToEnd();
  void closingDuringALookupStopsItAndSaves();
  void failedLoadKeepsWhatWasShown();
  void windowKeepsItsPlace();
  void withoutAContextFilesStillOpen();
  void droppedFilesOpen();
  void texturesAndRenamedMeshesOpen();
  void exportWritesWhatIsOpen();
  void exportAddsTheTrackShown();
  void stepperWalksTheAttachmentPoints();
  void recentFilesKeepTheNewestEight();
  void texturesDialogListsHighlightsAndExports();
  void changedFilesReloadAndDamageKeepsTheLastPicture();
  void messageBoxesTakeTheKeyboard_data();
  void messageBoxesTakeTheKeyboard();
  void measuringByCtrlClicks();
  void measuringATraincar();
  void meshDataShowsDimensionsAndBudget();
  void commandsRedrawAtOnce();
  void backgroundShowsAsPicked();
  void firstWindowAndMaximisedState();
  void thumbnailAndExportSayWhere();
  void locateTextureNamesUntexturedObjects();
  void keyboardOpensThePopupAndMenus();
  void bareConfigFileOpensItsFolder();
  void textsAndTheFirstView();

 private:
  kelvane::testing::TempDir scratch_;
};
