// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/QtPlatform.h"

#include <QtGui/qguiapplication_platform.h>
#include <QAbstractItemView>
#include <QAbstractNativeEventFilter>
#include <QApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QFontDatabase>
#include <QFontInfo>
#include <QGuiApplication>
#include <QHeaderView>
#include <QIcon>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QShowEvent>
#include <QSocketNotifier>
#include <QStandardPaths>
#include <QTimer>
#include <QTreeView>
#include <QWindow>

#include <dirent.h>
#include <fcntl.h>
#include <fontconfig/fontconfig.h>
#include <sys/stat.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <exception>
#include <thread>
#include <utility>

#include "receiver/ImageFile.h"
#include "ui/MonitorPlacement.h"

namespace quarvel::ui {

namespace {

// A message box centred on the available area of the screen the user works on (WorkScreen).
// Left to itself, a box without a parent is centred on the screen under the pointer, which on
// a desk of several monitors may be far from the panel the user looks at, while the box blocks
// every window.
class WorkScreenBox final : public QMessageBox {
 public:
  WorkScreenBox(const QString& caption, const QString& text, const QWidget* panel)
      : QMessageBox(QMessageBox::Critical, caption, text, QMessageBox::Ok),
        panel_(panel),
        keyboardHere_(QGuiApplication::applicationState() == Qt::ApplicationActive) {
    qApp->installNativeEventFilter(&focus_);
  }
  ~WorkScreenBox() override { qApp->removeNativeEventFilter(&focus_); }

 protected:
  void showEvent(QShowEvent* event) override {
    QMessageBox::showEvent(event);  // sizes the box and places it by the pointer
    if (event->spontaneous()) return;
    QScreen* screen = WorkScreen(panel_);
    if (screen == nullptr) return;
    // The box's own frame is known only once it is shown; the work window's is the best guess,
    // as a window manager frames the windows of one program alike.
    const QPoint place =
        CentredPlace(size(), FrameOf(WorkWindow(panel_)), screen->availableGeometry());
    if (QWindow* window = windowHandle()) window->setScreen(screen);  // its scale, before moving
    move(place);  // a window's position is that of its frame
  }

  // The box holds every window of the program until it is answered. Minimised on its own (a
  // window manager's title-bar button or task bar may do that whatever the box asks), it would
  // leave the panel on screen taking no click and showing no reason: it comes straight back.
  // Minimised while another program has the keyboard, it comes back when the user returns to
  // this one (the task bar meanwhile asked to draw attention to it), so that a key meant for
  // the other program cannot press OK unseen. (Tied to the panel for the window manager
  // instead, it would hand the panel the keyboard when it closes, also when the user was in
  // the bus monitor or in another program.)
  void changeEvent(QEvent* event) override {
    QMessageBox::changeEvent(event);
    if (event->type() != QEvent::WindowStateChange || !isMinimized()) return;
    // A window manager takes the keyboard from the box it minimises just before it says so.
    constexpr qint64 kJustLostMs = 250;
    if (keyboardHere_ || (lostKeyboard_.isValid() && lostKeyboard_.elapsed() < kJustLostMs)) {
      QTimer::singleShot(0, this, [this] { ComeBack(); });
      return;
    }
    QApplication::alert(this);
    awaitingReturn_ = true;
  }

 private:
  // Follows the keyboard in and out of the program's windows from the display's own focus
  // events, in their order: the toolkit reports leaving a window only a moment later, and
  // nothing of a window it blocks getting the keyboard back.
  class FocusWatch : public QAbstractNativeEventFilter {
   public:
    explicit FocusWatch(WorkScreenBox& box) : box_(box) {}
    bool nativeEventFilter(const QByteArray& type, void* message, qintptr*) override {
      if (type != "xcb_generic_event_t") return false;
      const auto* event = static_cast<const xcb_focus_in_event_t*>(message);
      const int kind = event->response_type & 0x7F;
      if ((kind != XCB_FOCUS_IN && kind != XCB_FOCUS_OUT) || event->mode == XCB_NOTIFY_MODE_GRAB ||
          event->mode == XCB_NOTIFY_MODE_UNGRAB || event->detail == XCB_NOTIFY_DETAIL_POINTER)
        return false;
      box_.keyboardHere_ = kind == XCB_FOCUS_IN;
      if (!box_.keyboardHere_) box_.lostKeyboard_.start();
      if (box_.keyboardHere_ && box_.awaitingReturn_)
        QTimer::singleShot(0, &box_, [this] { box_.ComeBack(); });
      return false;
    }

   private:
    WorkScreenBox& box_;
  };

  void ComeBack() {
    awaitingReturn_ = false;
    showNormal();
    activateWindow();
  }

  const QWidget* panel_;  // or null
  bool keyboardHere_;     // one of the program's windows has the keyboard
  bool awaitingReturn_ = false;
  QElapsedTimer lostKeyboard_;  // since the keyboard last left the program's windows
  FocusWatch focus_{*this};
};

}  // namespace

void QtErrorReporter::ShowError(const std::string& caption, const std::string& text) {
  if (ended_) return;
  // No parent: the box still blocks every window. It opens on the screen the user works on.
  WorkScreenBox box(QString::fromStdString(caption), QString::fromStdString(text), window_);
  // Texts name files, and a file name may look like markup ("x<b>y.bin"): shown as it stands.
  box.setTextFormat(Qt::PlainText);
  box.setDefaultButton(QMessageBox::Ok);
  box.setEscapeButton(QMessageBox::Ok);
  box.setWindowModality(Qt::ApplicationModal);
  open_.emplace_back(&box);
  box.exec();
  open_.pop_back();
}

void QtErrorReporter::EndBoxes() {
  ended_ = true;
  // Called from a box's own event loop (the signal is read there): each box leaves its loop
  // once this returns, the innermost first.
  for (const QPointer<QMessageBox>& box : open_)
    if (!box.isNull()) box->button(QMessageBox::Ok)->click();
}

namespace {

// Closes every popup still open (a name box's completer list, say). A popup left open would
// take the next click anywhere just to close itself.
void ClosePopups() {
  for (int guard = 0; guard < 16; ++guard) {
    QWidget* popup = QApplication::activePopupWidget();
    if (popup == nullptr) return;
    popup->close();
  }
}

// The upload's file dialog, with a name containing a quote taken as typed before the dialog's
// own reading of it decides anything: such a folder opens, such a file can be chosen.
class ImageFileDialog final : public QFileDialog {
 public:
  using QFileDialog::QFileDialog;

  // Once the dialog's own widgets exist: the name box is watched, and the Open button
  // follows the name taken as typed.
  void FollowNamesWithQuotes() {
    nameBox_ = findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    auto* buttons = findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"));
    if (nameBox_ == nullptr || buttons == nullptr) return;
    // Connected after the dialog's own handler, so it has the last word on the button.
    connect(nameBox_, &QLineEdit::textChanged, this, [this, buttons] {
      const std::optional<QFileInfo> literal = NameWithQuote();
      if (QPushButton* open = buttons->button(QDialogButtonBox::Open); open && literal)
        open->setEnabled(literal->exists() || !literal->fileName().isEmpty());
    });
  }

  // The name box reads text with a quote as a list of quoted names ("a.bin" "b.bin"), so a
  // name that itself contains a quote would be cut up and could name another file. Such text
  // is taken as the one name it is when a file or folder of that name exists, or when it is
  // not in the list form (which starts with a quote).
  std::optional<QFileInfo> NameWithQuote() const {
    if (nameBox_ == nullptr || !nameBox_->text().contains(u'"')) return std::nullopt;
    QString typed = nameBox_->text();
    if (typed == u'~' || typed.startsWith(QStringLiteral("~/")))
      typed = QDir::homePath() + typed.mid(1);
    const QFileInfo literal(directory().filePath(typed));
    if (literal.exists() || !typed.startsWith(u'"')) return literal;
    return std::nullopt;
  }

  // The name box's completer list is closed before the dialog goes. The window manager gives
  // the panel the keyboard as soon as the dialog is gone from the screen, and the toolkit
  // takes no activation while a popup is open: had the list outlived the dialog, the panel
  // would hold the keyboard without being the active window, with no focus shown and none
  // reported to a screen reader, and no later focus change on the panel would mend that.
  void done(int result) override {
    ClosePopups();
    QFileDialog::done(result);
  }

  // Between requests the dialog keeps its widgets, which under X cost memory each time they
  // are built, but not its window: a window, even hidden, is one of the program's windows to a
  // screen reader. The next show makes a new one.
  void DropWindow() { destroy(); }

  // The size the dialog showed at (its layout's minimum applied), and the size it has now, its
  // normal one when maximised: when the two differ, the user gave it that size.
  QSize ShownSize() const { return shownSize_; }
  QSize NormalSize() const {
    return isMaximized() || isFullScreen() ? normalGeometry().size() : size();
  }

  // The detail list's size, type and date columns open as wide as their texts: the toolkit's
  // own widths cut "256 bytes" (what a user checks an image by) and the dates in every
  // language. Widened as the list fills, each time a folder is listed, never narrowed, so that
  // a width the user gave one stays; the name column gives up what it does not need.
  void ColumnsFitTheirTexts() {
    auto* view = findChild<QTreeView*>(QStringLiteral("treeView"));
    auto* files = findChild<QFileSystemModel*>();
    if (view == nullptr || files == nullptr) return;
    auto fit = [view] {
      QHeaderView* header = view->header();
      const QAbstractItemView* list = view;  // where the width a column's texts need is public
      for (int column = 1; column < header->count(); ++column)
        header->resizeSection(
            column, std::max(header->sectionSize(column), list->sizeHintForColumn(column)));
      // The room comes out of the name column where the list would need scrolling otherwise,
      // as far as the names listed leave room.
      if (const int over = header->length() - view->viewport()->width(); over > 0)
        header->resizeSection(0,
                              std::max(header->sectionSize(0) - over, list->sizeHintForColumn(0)));
    };
    // Once for all the rows a pass of the event loop brings (a large folder comes in many).
    auto* pending = new QTimer(view);
    pending->setSingleShot(true);
    pending->setInterval(0);
    connect(pending, &QTimer::timeout, view, fit);
    auto later = [pending] { pending->start(); };
    connect(files, &QFileSystemModel::directoryLoaded, pending, later);
    connect(files, &QAbstractItemModel::rowsInserted, pending, later);
  }

  // The file lists open at their top with no file current, as a new dialog's do, whatever the
  // last request scrolled to or touched (in a folder listed again it would all stay).
  void ListsFromTheTop() {
    for (const char* name : {"listView", "treeView"}) {
      if (auto* view = findChild<QAbstractItemView*>(QLatin1String(name))) {
        view->setCurrentIndex(QModelIndex());
        view->scrollToTop();
      }
    }
  }

  void accept() override {
    const std::optional<QFileInfo> literal = NameWithQuote();
    if (!literal) {
      QFileDialog::accept();
    } else if (literal->isDir()) {
      setDirectory(literal->absoluteFilePath());
      nameBox_->clear();
    } else {
      QDialog::accept();
    }
  }

 protected:
  void showEvent(QShowEvent* event) override {
    QFileDialog::showEvent(event);
    if (!event->spontaneous()) shownSize_ = size();
  }

 private:
  QSize shownSize_;
  QLineEdit* nameBox_ = nullptr;  // the dialog's own, living as long as it
};

}  // namespace

void NoSettingsOnDisk() {
  static const bool done = [] {
    // Every store, in both formats and scopes, is put below a device file, so that it can
    // neither exist nor be created: no file is ever read, and a write stops before anything,
    // lock files included, is created. (The file dialog opens its store in the native format,
    // whatever the default format is.)
    const QString nowhere = QStringLiteral("/dev/null/none");
    for (QSettings::Format format : {QSettings::NativeFormat, QSettings::IniFormat})
      for (QSettings::Scope scope : {QSettings::UserScope, QSettings::SystemScope})
        QSettings::setPath(format, scope, nowhere);
    return true;
  }();
  (void)done;
}

int StandardStreamsOpen() {
  int opened = 0;
  for (int fd = 0; fd <= 2; ++fd) {
    if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    opened |= 1 << fd;
    // The lowest free number is this one, as the lower ones are open by now.
    const int null = open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
    if (null >= 0 && null != fd) {
      dup2(null, fd);
      close(null);
    }
  }
  return opened;
}

namespace {

constexpr std::array<int, 3> kTerminationSignals = {SIGTERM, SIGINT, SIGHUP};
// The write end of the running CloseOnTerminationSignals' pipe; the handler can reach no
// object.
volatile std::sig_atomic_t terminationPipe = -1;

void OnTerminationSignal(int) {
  const int saved = errno;
  const char byte = 1;
  [[maybe_unused]] const ssize_t n = write(terminationPipe, &byte, 1);
  errno = saved;
}

}  // namespace

CloseOnTerminationSignals::CloseOnTerminationSignals(QWidget& window, QtErrorReporter* boxes)
    : window_(&window), boxes_(boxes) {
  if (pipe2(pipe_, O_CLOEXEC | O_NONBLOCK) != 0) return;
  terminationPipe = pipe_[1];
  auto* notifier = new QSocketNotifier(pipe_[0], QSocketNotifier::Read, this);
  connect(notifier, &QSocketNotifier::activated, this, [this] {
    char bytes[16];
    while (read(pipe_[0], bytes, sizeof bytes) > 0) {
    }
    // Not user input: it arrives during an upload's pauses too, and the window's close waits
    // for the upload. An error box open now is one of the operation's: it goes, and the
    // operation's later errors show none, so the operation ends without waiting for OK.
    if (boxes_ != nullptr) boxes_->EndBoxes();
    if (!window_.isNull()) window_->close();
  });
  struct sigaction action {};
  action.sa_handler = OnTerminationSignal;
  sigemptyset(&action.sa_mask);
  for (std::size_t i = 0; i < kTerminationSignals.size(); ++i) {
    // A second Ctrl+C ends the program the default way: the handler is reset by the first.
    // SIGTERM and SIGHUP come again without anyone asking for haste (a closing terminal sends
    // SIGHUP twice: the hang-up and its shell passing it on to its jobs): they are taken as
    // often as they come, so that an upload still runs to its end.
    action.sa_flags = SA_RESTART | (kTerminationSignals[i] == SIGINT ? SA_RESETHAND : 0);
    // A signal ignored on purpose stays ignored: `nohup` keeps a closed terminal's SIGHUP
    // away, a shell keeps Ctrl+C away from a job in the background.
    sigaction(kTerminationSignals[i], nullptr, &previous_[i]);
    if (previous_[i].sa_handler != SIG_IGN) sigaction(kTerminationSignals[i], &action, nullptr);
  }
}

CloseOnTerminationSignals::~CloseOnTerminationSignals() {
  if (pipe_[0] < 0) return;
  for (std::size_t i = 0; i < kTerminationSignals.size(); ++i)
    if (previous_[i].sa_handler != SIG_IGN)
      sigaction(kTerminationSignals[i], &previous_[i], nullptr);
  terminationPipe = -1;
  close(pipe_[0]);
  close(pipe_[1]);
}

void NoSessionBusLaunched() {
  if (!qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS")) return;
  // Where a user session manager runs the bus, libdbus looks for it here without an address.
  const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
  if (!runtime.isEmpty() && QFileInfo(runtime + QStringLiteral("/bus")).exists()) return;
  // An address that names no bus: connecting fails at once, and nothing is launched.
  qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/dev/null/no-session-bus");
}

void FileDialogChooser::Attach(QWidget* window, std::function<bool()> closing) {
  window_ = window;
  closing_ = std::move(closing);
}

namespace {

// Whether the chosen path is how the toolkit shows a path whose file or folder names are not all
// valid UTF-8: the toolkit shows each byte it cannot read as U+FFFD, and the path it gives back
// then stands for files or folders named with that character, or for none. For each name on the
// path that holds U+FFFD, its folder is looked for another entry of the same kind (a folder
// for a folder on the path) whose name reads the same.
bool NameMisread(const QFileInfo& chosen) {
  bool folder = false;  // the kind of entry looked for: the file itself, then its folders
  for (QFileInfo part(chosen.absoluteFilePath()); !part.isRoot();
       part = QFileInfo(part.absolutePath()), folder = true) {
    const QString name = part.fileName();
    if (!name.contains(QChar::ReplacementCharacter)) continue;
    const QByteArray asGiven = QFile::encodeName(name);
    DIR* entries = opendir(QFile::encodeName(part.absolutePath()).constData());
    if (entries == nullptr) continue;
    bool misread = false;
    while (const dirent* entry = readdir(entries)) {
      struct stat st {};
      const QByteArray raw(entry->d_name);
      if (raw != asGiven && QFile::decodeName(raw) == name &&
          fstatat(dirfd(entries), entry->d_name, &st, 0) == 0 && S_ISDIR(st.st_mode) == folder) {
        misread = true;
        break;
      }
    }
    closedir(entries);
    if (misread) return true;
  }
  return false;
}

}  // namespace

std::optional<std::string> FileDialogChooser::ChooseImageFile(const std::string& presetName) {
  if (window_.isNull() || (closing_ && closing_())) return std::nullopt;
  NoSettingsOnDisk();
  if (dialog_.isNull()) {
    // No title, no filter of its own, resizable; the name box takes any name.
    auto* built = new ImageFileDialog(window_, QString(), QDir::currentPath());
    built->setObjectName(QStringLiteral("OpenDialog1"));
    built->setFileMode(QFileDialog::AnyFile);
    built->setAcceptMode(QFileDialog::AcceptOpen);
    built->setOption(QFileDialog::DontUseNativeDialog);
    built->FollowNamesWithQuotes();
    built->ColumnsFitTheirTexts();
    built->setSizeGripEnabled(true);
    built->setWindowModality(Qt::WindowModal);
    dialog_ = built;
    everyFile_ = built->nameFilters();
    wanted_ = built->sizeHint();
  } else {
    // As the last upload left it, but for what it showed: the working directory, every file.
    // (Clearing the filter list would leave the last pattern in force.)
    dialog_->setDirectory(QDir::currentPath());
    dialog_->setNameFilters(everyFile_);
    static_cast<ImageFileDialog*>(dialog_.data())->ListsFromTheTop();
  }
  QPointer<ImageFileDialog> dialog = static_cast<ImageFileDialog*>(dialog_.data());
  dialog->selectFile(QString::fromStdString(presetName));
  // No larger than the screen holds (a small one, or one the toolkit scales up): its name
  // box and buttons are at the bottom.
  const QScreen* screen = window_->screen();
  dialog->resize(screen ? wanted_.boundedTo(WindowRoom(screen->availableGeometry())) : wanted_);
  std::optional<std::string> result;
  bool misread = false;
  for (;;) {
    const int answer = dialog->exec();
    ClosePopups();
    if (answer != QDialog::Accepted || dialog.isNull()) break;
    const std::optional<QFileInfo> literal = dialog->NameWithQuote();
    const QStringList files = dialog->selectedFiles();
    if (!literal && files.isEmpty()) break;
    // Several names are not one image: the dialog stays open for one.
    if (!literal && files.size() != 1) continue;
    const QFileInfo chosen = literal ? *literal : QFileInfo(files.first());
    // A name with wildcards ("*.bin" as preset) that names no file filters the list and the
    // dialog stays open, as users of the classic file dialog expect.
    const QString name = chosen.fileName();
    if (!chosen.exists() && (name.contains(u'*') || name.contains(u'?'))) {
      // Typed with a folder ("~/images/*.bin"), the pattern lists that folder.
      if (const QDir folder = chosen.absoluteDir(); folder.exists()) dialog->setDirectory(folder);
      dialog->setNameFilter(name);
      dialog->selectFile(name);
      continue;
    }
    result = QFile::encodeName(chosen.filePath()).toStdString();
    misread = NameMisread(chosen);
    break;
  }
  if (!dialog.isNull()) {
    // A size the user gave it is kept; the one the screen bounded it to is not.
    if (dialog->NormalSize() != dialog->ShownSize()) wanted_ = dialog->NormalSize();
    dialog->DropWindow();
  }
  if (misread) {
    throw receiver::FileError(EILSEQ, "Cannot open \"" + receiver::ShownName(*result) +
                                          "\": a file or folder on this path has a name "
                                          "that is not valid UTF-8 (shown with \"\uFFFD\"); "
                                          "rename it");
  }
  return result;
}

FontConfigurationLoader::FontConfigurationLoader() {
  // Started from a desktop's launcher, the application object takes the launch's start-up
  // token out of the environment while it starts, and the environment cannot be changed
  // safely while another thread reads it (as loading the configuration does). Then the
  // configuration is loaded here, at once.
  if (qEnvironmentVariableIsSet("DESKTOP_STARTUP_ID") ||
      qEnvironmentVariableIsSet("XDG_ACTIVATION_TOKEN")) {
    FcInit();
    return;
  }
  try {
    thread_ = std::thread([] { FcInit(); });
  } catch (const std::exception&) {
    // No thread to spare: the toolkit loads the configuration itself, when it first needs it.
  }
}

FontConfigurationLoader::~FontConfigurationLoader() {
  Wait();
}

void FontConfigurationLoader::Wait() {
  if (thread_.joinable()) thread_.join();
}

void WindowSleeper::SleepMs(int ms) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  if (work_) {
    const std::function<void()> work = std::move(work_);
    work_ = nullptr;
    work();
  }
  std::this_thread::sleep_until(end);
}

namespace {

xcb_connection_t* DisplayConnection() {
  const auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
  if (app == nullptr) return nullptr;
  const auto* x11 = app->nativeInterface<QNativeInterface::QX11Application>();
  return x11 != nullptr ? x11->connection() : nullptr;
}

}  // namespace

CloseRequestWatch::CloseRequestWatch(const QWidget& window, std::function<void()> requested)
    : window_(window), requested_(std::move(requested)) {
  xcb_connection_t* display = DisplayConnection();
  if (display == nullptr) return;
  asked_ = {xcb_intern_atom(display, 0, 12, "WM_PROTOCOLS").sequence,
            xcb_intern_atom(display, 0, 16, "WM_DELETE_WINDOW").sequence};
  watching_ = true;
  QCoreApplication::instance()->installNativeEventFilter(this);
}

CloseRequestWatch::~CloseRequestWatch() {
  if (!watching_) return;
  if (QCoreApplication::instance() != nullptr)
    QCoreApplication::instance()->removeNativeEventFilter(this);
  xcb_connection_t* display = DisplayConnection();
  // Answers not read yet are let go.
  for (unsigned asked : asked_)
    if (asked != 0 && display != nullptr) xcb_discard_reply(display, asked);
}

bool CloseRequestWatch::nativeEventFilter(const QByteArray& type, void* message, qintptr*) {
  if (type != "xcb_generic_event_t") return false;
  const auto* event = static_cast<const xcb_client_message_event_t*>(message);
  if ((event->response_type & 0x7F) != XCB_CLIENT_MESSAGE || event->format != 32) return false;
  if (xcb_connection_t* display = DisplayConnection(); display != nullptr && asked_[0] != 0) {
    for (auto [asked, atom] : {std::pair{asked_[0], &protocols_}, {asked_[1], &deleteWindow_}}) {
      xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(display, {asked}, nullptr);
      *atom = reply != nullptr ? reply->atom : 0;
      free(reply);
    }
    asked_ = {};
  }
  if (protocols_ != 0 && event->type == protocols_ && event->data.data32[0] == deleteWindow_ &&
      event->window == window_.internalWinId() && QGuiApplication::modalWindow() == nullptr)
    requested_();
  return false;
}

void WindowSleeper::DuringNextSleep(std::function<void()> work) {
  work_ = std::move(work);
}

namespace {

// Whether the connection to the X server has broken (the server ended, an ssh link dropped).
// The toolkit ends the program the next time it looks for window events on such a connection.
bool DisplayConnectionBroken() {
  xcb_connection_t* display = DisplayConnection();
  return display != nullptr && xcb_connection_has_error(display) != 0;
}

}  // namespace

void WindowSleeper::IdleMs(int ms) {
  using std::chrono::milliseconds;
  QElapsedTimer clock;
  clock.start();
  // The windows repaint during the pause (their repaints are posted events), but nothing is
  // read from the display: the toolkit ends the program as soon as it reads from a connection
  // that broke (the X server ended, an ssh link dropped), which between two pages of an upload
  // would leave the EEPROM half old, half new. What the display sends meanwhile (input, a
  // close) is read after the operation. Nor are the parts of the windows the display reports
  // uncovered (by the file dialog just closed, by a window moved): each pause repaints the
  // windows whole instead. Once the connection is broken, nothing more is painted either; the
  // operation finishes and the program ends after it.
  if (qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr) {
    for (QWidget* window : QApplication::topLevelWidgets()) {
      if (!window->isVisible()) continue;
      window->update();
      // The window's own repaint does not reach what its scroll areas show.
      for (QWidget* part : window->findChildren<QWidget*>()) part->update();
    }
  }
  constexpr qint64 kRoundMs = 2;
  while (QCoreApplication::instance() != nullptr && !DisplayConnectionBroken()) {
    QCoreApplication::sendPostedEvents();
    const qint64 left = ms - clock.elapsed();
    if (left <= 0) return;
    std::this_thread::sleep_for(milliseconds(std::min(left, kRoundMs)));
    if (left <= kRoundMs) return;
  }
  const qint64 left = ms - clock.elapsed();
  if (left > 0) std::this_thread::sleep_for(milliseconds(left));
}

char DecimalSeparatorOf(const QLocale& locale) {
  const QString point = locale.decimalPoint();
  if (point.isEmpty() || point.at(0).unicode() > 0x7F) return '.';
  return static_cast<char>(point.at(0).unicode());
}

void UseInstalledWindowIcon() {
  // Read straight from its files: a theme lookup would read every installed theme's index.
  if (!QApplication::windowIcon().isNull()) return;
  // Where the data folders have it, else beside the program (<prefix>/bin and
  // <prefix>/share), for a prefix the data folders do not name (/opt/quarvel, say).
  const QDir prefix(QCoreApplication::applicationDirPath() + QStringLiteral("/.."));
  QIcon icon;
  for (int size : {48, 64}) {
    const QString name = QStringLiteral("icons/hicolor/%1x%1/apps/quarvel-sdr.png").arg(size);
    QString file = QStandardPaths::locate(QStandardPaths::GenericDataLocation, name);
    if (file.isEmpty() && QFileInfo::exists(prefix.filePath(QStringLiteral("share/") + name)))
      file = prefix.filePath(QStringLiteral("share/") + name);
    if (!file.isEmpty()) icon.addFile(file, QSize(size, size));
  }
  if (!icon.isNull()) QApplication::setWindowIcon(icon);
}

QFont PanelFont(double pointSize) {
  static const QString kLayoutFamily = QStringLiteral("MS Sans Serif");
  // Asks for the one family and checks what the font database matched, rather than listing
  // every installed family: on a machine with thousands of fonts that list is long.
  QFont font(kLayoutFamily);
  if (QFontInfo(font).family().compare(kLayoutFamily, Qt::CaseInsensitive) != 0)
    font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
  font.setStyleHint(QFont::SansSerif);
  font.setPointSizeF(pointSize);
  return font;
}

}  // namespace quarvel::ui
