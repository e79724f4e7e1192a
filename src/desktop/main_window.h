#pragma once
// The main window: the menu that starts every piece of work, the application's state, and the
// child windows (frame, fragment, hint, panel, progress).

#include <QMainWindow>
#include <QPointer>
#include <map>
#include <memory>
#include <optional>

#include "astrometry/overlay.h"
#include "base/ui/long_task.h"
#include "desktop/form1.h"
#include "desktop/frame_view.h"
#include "frameinfo/frame_info.h"
#include "frameinfo/info_file.h"
#include "frameinfo/places.h"
#include "image/detection.h"
#include "image/frame_header.h"
#include "session/app_lock.h"
#include "session/app_state.h"
#include "session/commands.h"
#include "session/frame_session.h"

class QAction;
class Form1;
class FrmFrame;
class FrmPar;
class Frmp;
class Frmz;
class FrameViewer;
class SatelliteWindows;

class MainWindow : public QMainWindow {
  Q_OBJECT
public:
  // appDir: the application directory (the executable's, or the one given on the command line).
  explicit MainWindow(const QString& appDir, QWidget* parent = nullptr);
  ~MainWindow() override;

  // Runs start-up: single-instance test, panel, log, working files, palette, frame sizes, hint. False
  // when the program must end: another instance works on the same directory (after its message), or the
  // window was closed during start-up.
  bool StartUp();
  // Writes the frame's information when one was opened, closes the log and releases the instance lock.
  // False (nothing closed) when the information could not be written and the user keeps the program open.
  bool ShutDown();

  AppState& App() { return app_; }
  FrameState& Frame() { return frame_; }
  FrameSession& Session() { return session_; }
  // What the frame window shows of the frame: picture size and scale, cursor, marking frame on screen.
  const FrameViewState& ViewState() const;
  FrameInfo& Info() { return frame_.info; }
  Form1* FrameWindow() const { return form1_; }
  FrmFrame* FragmentWindow() const { return fragment_; }
  FrmPar* Panel() const { return panel_; }
  Frmp* HintWindow() const { return hint_; }
  Frmz* ProgressWindow() const { return progress_; }
  FrameViewer* Viewer() const { return viewer_.get(); }
  SatelliteWindows* Satellites() const { return satellites_.get(); }
  // The menu action with the given object name.
  QAction* Action(const QString& name) const;
  // Three lines into the hint window.
  void ShowHint(const QString& line1, const QString& line2, const QString& line3);
  // Opens a frame file as "Открыть кадр" does after its dialog; false (and nothing changed) on failure.
  // Opens a frame; false, with the cause kept in openRefusal_, when it cannot be decoded.
  bool OpenFrame(const QString& path);
  // Opens a frame named on the command line; says so when it cannot be opened.
  void OpenFrameFromCommandLine(const QString& path);
  // Closes the open frame as opening another would: writes its information file, hides the frame and
  // fragment windows and the windows that belong to the frame.
  void CloseFrame();

protected:
  void closeEvent(QCloseEvent* event) override;

private slots:
  void OpenIm();
  void OpenInf();
  void View();
  void Star();
  void Trek();
  void Mtrek();
  void Parf();
  void AutoStars();
  void AutoTrack();
  void StarId();
  void AutoProcess();
  void MesTrek();
  void Sat();
  void UserSat();
  void SatN();
  void Crossings();
  // "Создать IOD": the report of the frame's satellite after either road.
  void Iod();
  void StarVis();
  void Viewmag();
  void StarMinus();
  void StarPlus();
  void LoadTleDir();
  void Ssr();
  void Vislist();
  void Clear();
  void Orvia();
  void Ver();
  // The "Окна" menu: a closed tool window shown again.
  void ShowPanelWindow();
  void ShowHintWindow();
  void ShowFragmentWindow();
  void ShowMeasurementWindow();

private:
  void CreateMenus();
  QAction* AddAction(class QMenu* menu, const QString& name, const QString& text, void (MainWindow::*slot)(),
                     bool checkable = false);
  bool Guarded() const { return app_.catalogueReady; }
  // A command's checks: nothing while a long task runs, otherwise the message of the first unmet
  // requirement; true when the command may go on.
  bool Allowed(std::initializer_list<Requirement> requirements);
  // The flags a long task of the main window claims, and what a window running one needs.
  LongTaskGuard::Flags LongTaskFlags();
  TaskContext TaskContextOf();
  bool Solved() const;
  // Shows a message with caption "Сообщение".
  void Say(const QString& text);
  // Reads the panel into the frame information; strict collection stops at a bad date or time.
  bool Collect(bool strict);
  void EnterMode(WorkMode mode);
  // Brings the windows in line with a frame just opened; infoRead: its information file was read.
  void ResetFrameView(bool infoRead);
  // Shows the information file's values in the panel, or a fresh panel at the last site without one.
  void ShowInfoLookUp(bool infoRead);
  // Writes the frame's information file; on failure names the file and the reason, asks leaveQuestion and
  // returns whether the user lets the frame go unsaved.
  bool SaveFrameInfo(const QString& leaveQuestion);
  // Takes the lock of the application directory (shared with orvia-cli); false, after saying who holds
  // it, when another program does.
  bool TakeInstanceLock();
  // Shows the frame's circumstances, plate and Moon in the panel.
  void ShowFrameInfo();
  void CloseAuxiliaryWindows();
  // After reading an information file: asks before the file's missing solution replaces the one shown,
  // and brings the sky readout and the star count in line with the frame.
  void KeepOrDropShownSolution(const PlateSolution& shown);
  // Asks before star marking erases identified marks; true when marking may start.
  bool MayEraseIdentifiedMarks();
  // Remembers the frame's site (longitude, latitude, station code) for the next frame without a file.
  void RememberSite();
  // Opens the TLE window in the folder used last and remembers the folder it imports from.
  void RememberTleFolder(class FrmDir* window);
  // Keeps the last site and TLE folder in the application directory for the next run.
  void StoreRememberedUse();
  // Places the frame window and the fragment window inside the screen's available area, side by side.
  void PlaceFrameWindows();
  // Moves a window to the preferred corner of its frame, or to another place in the available area where it
  // covers neither the frame's picture, the fragment window, the panel, the measurement window, the hint nor
  // another open window;
  // a resizable window shrinks into the largest free part of the screen when nothing else is clear.
  void PlaceClearOfFrame(QWidget* window, QPoint preferred);
  // The frame corner right of the panel, top-aligned with it (screen pixels).
  QPoint BesidePanel() const;
  // Draws a mark outline returned by detection as an overlay of the given kind; with the mark's image
  // position it stays on the frame's pixels at every zoom.
  void DrawOutline(OverlayKind kind, const MarkOutline& outline, std::optional<QPointF> imageCentre = {});
  // Image position of a track-end slot (1 or 2).
  QPointF TrackEndCentre(int slot) const;
  // Draws a star mark just recorded and the star count.
  void ShowStarMark(const StarDetection& found);
  // Redraws the track ends from the frame state.
  void ShowTrackEnds();
  // Draws a track-end addition and shows its hint.
  void ShowTrackEndAddition(const TrackEndAddition& addition);
  // Shows an adopted identification: plate solution, identities, panel rows, the Moon.
  void ShowIdentification(const struct IdentificationResult& result);
  // Shows what a catalogue display command decided: message, removals, markers, labels, check marks, depth.
  void ApplyCatalogueResult(const struct CatalogueCommandResult& result);
  void RunImport(const QString& progressText, const QString& filter, const QString& failure, bool ssr);
  // The satellite windows with their view of this window's state.
  void CreateSatelliteWindows();
  // Redraws the frame's trajectory marks and labels over the frame window.
  void ShowTrajectories();
  // Redraws the star marks and the track ends from the frame state.
  void RedrawMarks();
  // Shows what the automatic road left: marks, identification, measurement, candidates, messages.
  void ShowAutoChain(const struct AutoChainResult& result);

  AppState app_;
  FrameState frame_;
  FrameRefusal openRefusal_ = FrameRefusal::None;  // why the last frame could not be opened
  FrameSession session_{app_, frame_};
  bool startedUp_ = false;
  bool shutDown_ = false;
  bool startingUp_ = false;  // true while start-up prepares the working files
  CatalogueDisplayState catalogueDisplay_;
  AppDirLock instanceLock_;
  std::map<QString, QAction*> actions_;
  Form1* form1_ = nullptr;
  FrmFrame* fragment_ = nullptr;
  FrmPar* panel_ = nullptr;
  Frmp* hint_ = nullptr;
  Frmz* progress_ = nullptr;
  std::unique_ptr<FrameViewer> viewer_;
  QPointer<QWidget> frameSizeWindow_;
  QPointer<QWidget> exifWindow_;
  QPointer<QWidget> tleWindow_;
  QPointer<class FrmTxt> textWindow_;
  QPointer<QWidget> cleanupWindow_;
  std::unique_ptr<SatelliteWindows> satellites_;
  std::optional<ObserverSite> lastSite_;                 // the site of the last frame left, for a new frame
  QString lastTleDir_;                                   // the folder TLE files were last imported from
  QString lastInfoDir_;                                  // the folder an information file was last chosen in
  QString lastNamesDir_;                                 // the folder a names or magnitudes file was last chosen in
  std::vector<TrajectoryScreenPoint> trajectoryPoints_;  // the drawn marks as the viewer's time label finds them
};
