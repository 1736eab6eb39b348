// The application object: QApplication, the Qt event-loop driver, quit requests and activation.
#include "platform/ui/application.h"

#include "platform/core/cf_bundle.h"
#include "platform/core/mac_errors.h"
#include "platform/ui/alerts.h"

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QIcon>
#include <QImage>
#include <QPixmap>
#include <QPointer>
#include <QSessionManager>
#include <QSocketNotifier>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <cerrno>
#include <clocale>
#include <cmath>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

PL_QuitRequestProc gQuitProc = nullptr;
int gSignalPipe[2] = {-1, -1};

void RequestQuit() {
  if (gQuitProc != nullptr) gQuitProc();
}

// The pump of the main-thread loop inside Qt.
class Pump : public QObject {
 public:
  Pump() {
    timer_.setSingleShot(true);
    connect(&timer_, &QTimer::timeout, this, &Pump::Run);
  }

  // Any thread.
  void Wake() {
    woken_ = true;
    if (!posted_.exchange(true)) QMetaObject::invokeMethod(this, &Pump::Run, Qt::QueuedConnection);
  }

  // Main thread: inside our own wait the loop that waits dispatches; inside any other loop (an alert, a
  // file chooser, a menu, a drag) the work is done here.
  void Run() {
    posted_ = false;
    if (wait_ != nullptr && QThread::currentThread()->loopLevel() == waitLevel_) {
      wait_->quit();
      return;
    }
    PL_DispatchPendingEvents(nullptr);
    Arm();
  }

  void WaitForWork(EventTimeout timeout) {
    Arm();
    if (woken_.exchange(false)) {
      QCoreApplication::processEvents();
      return;
    }
    QEventLoop loop;
    QEventLoop *outer = wait_;
    const int outerLevel = waitLevel_;
    wait_ = &loop;
    waitLevel_ = QThread::currentThread()->loopLevel() + 1;
    QTimer deadline;
    if (timeout >= 0) {
      deadline.setSingleShot(true);
      connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
      deadline.start(int(std::min(std::ceil(timeout * 1000.0), 2147483647.0)));
    }
    if (!woken_.exchange(false)) loop.exec();
    wait_ = outer;
    waitLevel_ = outerLevel;
    woken_ = false;
  }

 private:
  // The Qt timer stands for the next platform timer, so that timers fire inside Qt's nested loops too.
  void Arm() {
    const EventTime next = PL_NextTimerFireTime();
    if (next < 0) {
      timer_.stop();
      return;
    }
    const double ms = std::max(0.0, std::ceil((next - GetCurrentEventTime()) * 1000.0));
    timer_.start(int(std::min(ms, 2147483647.0)));
  }

  std::atomic<bool> posted_{false};
  std::atomic<bool> woken_{false};
  QTimer timer_;
  QEventLoop *wait_ = nullptr;
  int waitLevel_ = -1;
};

Pump *ThePump() {
  static Pump *pump = new Pump;
  return pump;
}

void DriverWake(void *) { ThePump()->Wake(); }
void DriverWait(void *, EventTimeout timeout) { ThePump()->WaitForWork(timeout); }
void DriverProcess(void *) { QCoreApplication::processEvents(); }

void SignalHandler(int) {
  const int saved = errno;
  const char byte = 1;
  [[maybe_unused]] ssize_t n = write(gSignalPipe[1], &byte, 1);
  errno = saved;
}

void InstallSignalPipe() {
  if (gSignalPipe[0] >= 0 || pipe2(gSignalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
  auto *notifier = new QSocketNotifier(gSignalPipe[0], QSocketNotifier::Read, qApp);
  QObject::connect(notifier, &QSocketNotifier::activated, [] {
    char buffer[16];
    while (read(gSignalPipe[0], buffer, sizeof buffer) > 0) {
    }
    RequestQuit();
  });
  struct sigaction action {};
  action.sa_handler = SignalHandler;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

void SendApplicationEvent(UInt32 kind) {
  EventRef event = nullptr;
  if (CreateEvent(nullptr, kEventClassApplication, kind, 0, kEventAttributeNone, &event) != noErr) return;
  SendEventToEventTarget(event, GetApplicationEventTarget());
  ReleaseEvent(event);
}

QIcon ApplicationIcon() {
  QIcon icon;
  const QDir folder(QString::fromStdString(PL_MainBundleDirectory() + "/icons"));
  for (const QString &name : folder.entryList({QStringLiteral("brizel-*.png")}, QDir::Files))
    icon.addFile(folder.filePath(name));
  return icon;
}

}  // namespace

OSStatus PL_CreateApplication(int *argc, char **argv) {
  if (argc == nullptr || argv == nullptr) return paramErr;
  if (QCoreApplication::instance() == nullptr) new QApplication(*argc, argv);
  auto *app = qobject_cast<QApplication *>(QCoreApplication::instance());
  if (app == nullptr) return paramErr;
  QCoreApplication::setApplicationName(QStringLiteral("Brizel"));
  QGuiApplication::setApplicationDisplayName(QStringLiteral("Brizel"));
  QGuiApplication::setDesktopFileName(QStringLiteral("brizel"));
  QApplication::setWindowIcon(ApplicationIcon());
  QApplication::setQuitOnLastWindowClosed(false);
  // Qt applies the user's locale; numbers written with printf formats must keep their decimal point.
  std::setlocale(LC_NUMERIC, "C");
  PL_InstallQtEventLoopDriver();
  PL_InstallQtAlerts();
  InstallSignalPipe();
  // Once per application object: a second call (a new start in the same process) must not double the events.
  static QPointer<QApplication> connected;
  if (connected == app) return noErr;
  connected = app;
  QObject::connect(app, &QGuiApplication::commitDataRequest, app, [](QSessionManager &) { RequestQuit(); });
  QObject::connect(app, &QGuiApplication::applicationStateChanged, app, [](Qt::ApplicationState state) {
    SendApplicationEvent(state == Qt::ApplicationActive ? kEventAppActivated : kEventAppDeactivated);
  });
  return noErr;
}

void PL_InstallQtEventLoopDriver() {
  static const PL_EventLoopDriver driver{nullptr, DriverWake, DriverWait, DriverProcess};
  ThePump();
  PL_SetEventLoopDriver(&driver);
}

void PL_SetQuitRequestProc(PL_QuitRequestProc proc) { gQuitProc = proc; }

namespace {
bool gDockTileImageSet = false;
}  // namespace

OSStatus RestoreApplicationDockTileImage() {
  if (QCoreApplication::instance() == nullptr) return paramErr;
  QApplication::setWindowIcon(ApplicationIcon());
  gDockTileImageSet = false;
  return noErr;
}

OSStatus SetApplicationDockTileImage(CGImageRef inImage) {
  if (inImage == nullptr || QCoreApplication::instance() == nullptr) return paramErr;
  const int width = int(CGImageGetWidth(inImage));
  const int height = int(CGImageGetHeight(inImage));
  const size_t rowBytes = CGImageGetBytesPerRow(inImage);
  const UInt8 *argb = PL_CGImageGetARGBPixels(inImage);
  if (argb == nullptr || width <= 0 || height <= 0) return paramErr;
  // The image's bytes are A, R, G, B in memory; QImage's ARGB32 is one native-endian word per pixel.
  QImage picture(width, height, PL_CGImageIsPremultiplied(inImage) ? QImage::Format_ARGB32_Premultiplied
                                                                     : QImage::Format_ARGB32);
  for (int y = 0; y < height; ++y) {
    const UInt8 *src = argb + size_t(y) * rowBytes;
    auto *dst = reinterpret_cast<QRgb *>(picture.scanLine(y));
    for (int x = 0; x < width; ++x, src += 4) dst[x] = qRgba(src[1], src[2], src[3], src[0]);
  }
  QApplication::setWindowIcon(QIcon(QPixmap::fromImage(picture)));
  gDockTileImageSet = true;
  return noErr;
}

Boolean PL_IsApplicationDockTileImageSet() { return gDockTileImageSet; }
