// Movie views and picture views (see the header).
#include "platform/ui/movie_view.h"

#include "platform/core/mac_errors.h"
#include "platform/core/offscreen_worlds.h"
#include "platform/movie/movie_drawing.h"
#include "platform/movie/movie_properties.h"
#include "platform/movie/movie_toolbox.h"
#include "platform/movie/toolbox_time.h"
#include "platform/ui/nib_controls_qt.h"
#include "platform/ui/window_manager_qt.h"

#include <QApplication>
#include <QImage>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <cmath>
#include <map>

namespace {

constexpr int kBar = kPL_ControllerBarHeight;
constexpr int kPlayButtonWidth = 20;
constexpr int kTimeWidth = 64;

// ARGB bytes (A, R, G, B) into an RGB32 image: the alpha byte is ignored.
QImage ImageFromARGB(const UInt8 *first, SInt32 rowBytes, int width, int height) {
  QImage image(width, height, QImage::Format_RGB32);
  for (int y = 0; y < height; ++y) {
    const UInt8 *s = first + SInt64(y) * rowBytes;
    auto *d = reinterpret_cast<QRgb *>(image.scanLine(y));
    for (int x = 0; x < width; ++x, s += 4) d[x] = qRgb(s[1], s[2], s[3]);
  }
  return image;
}

void DrawDashedFrame(QPainter &painter, const QRect &frame) {
  if (frame.isEmpty()) return;
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing, false);
  const QRectF r(frame.left() + 0.5, frame.top() + 0.5, frame.width() - 1.0, frame.height() - 1.0);
  for (int pass = 0; pass < 2; ++pass) {
    QPen pen(pass == 0 ? QColor(255, 255, 255, 128) : QColor(0, 0, 0, 128));
    pen.setWidth(1);
    pen.setDashPattern({6, 6});
    pen.setDashOffset(pass == 0 ? 0 : 6);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(r);
  }
  painter.restore();
}

class MovieView : public QWidget {
 public:
  MovieView(QWidget *parent, MovieController mc) : QWidget(parent), mc_(mc) {
    setFocusPolicy(Qt::StrongFocus);
    setObjectName("Orl1_movieView");
    timer_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer_, &QTimer::timeout, this, [this] { Tick(); });
  }
  ~MovieView() override {
    if (world_ != nullptr) DisposeGWorld(world_);
  }
  MovieController Controller() const { return mc_; }
  void SetDragProc(PL_MovieControlDragProcPtr proc, void *refCon) {
    dragProc_ = proc;
    dragRefCon_ = refCon;
  }
  void SetFrameRect(const QRect &r) {
    frame_ = r;
    update();
  }
  void Refresh() {
    shownTime_ = -1;
    update();
  }
  // The rate may have changed through the controller's actions: start or stop the timer.
  void FollowRate() {
    Fixed rate = 0;
    MCDoAction(mc_, mcActionGetPlayRate, &rate);
    if (rate == 0) {
      timer_.stop();
    } else {
      const double interval = 1000.0 * FrameSeconds() / std::fabs(double(rate) / fixed1);
      timer_.start(std::max(1, int(interval)));
    }
    update();
  }

 protected:
  void paintEvent(QPaintEvent *) override {
    QPainter painter(this);
    const QRect picture(0, 0, width(), std::max(0, height() - (MCGetVisible(mc_) ? kBar : 0)));
    painter.fillRect(rect(), Qt::black);
    Decode(picture.size());
    if (!image_.isNull()) painter.drawImage(picture.topLeft(), image_);
    DrawDashedFrame(painter, frame_);
    if (MCGetVisible(mc_)) DrawBar(painter, QRect(0, picture.bottom() + 1, width(), kBar));
  }
  void keyPressEvent(QKeyEvent *event) override {
    Boolean keys = false;
    MCDoAction(mc_, mcActionGetKeysEnabled, &keys);
    if (!keys) return QWidget::keyPressEvent(event);
    switch (event->key()) {
      case Qt::Key_Space: TogglePlay(); break;
      case Qt::Key_Left: Step(-1); break;
      case Qt::Key_Right: Step(1); break;
      case Qt::Key_Home: GoTo(0); break;
      case Qt::Key_End: GoTo(LastFrameTime()); break;
      default: return QWidget::keyPressEvent(event);
    }
  }
  void mousePressEvent(QMouseEvent *event) override {
    setFocus(Qt::MouseFocusReason);
    const int barTop = height() - kBar;
    const QPoint at = event->position().toPoint();
    if (dragProc_ != nullptr && frame_.contains(at) && at.y() < barTop) {
      dragging_ = true;
      lastDrag_ = at;
      return;
    }
    if (!MCGetVisible(mc_) || event->position().y() < barTop) return QWidget::mousePressEvent(event);
    if (event->position().x() < kPlayButtonWidth) {
      TogglePlay();
      return;
    }
    scrubbing_ = true;
    Scrub(int(event->position().x()));
  }
  void mouseMoveEvent(QMouseEvent *event) override {
    if (dragging_) {
      const QPoint at = event->position().toPoint();
      const QPoint delta = at - lastDrag_;
      lastDrag_ = at;
      if (!delta.isNull()) dragProc_(dragRefCon_, delta.x(), delta.y(), false);
    } else if (scrubbing_) {
      Scrub(int(event->position().x()));
    } else {
      QWidget::mouseMoveEvent(event);
    }
  }
  void mouseReleaseEvent(QMouseEvent *event) override {
    scrubbing_ = false;
    if (dragging_) {
      dragging_ = false;
      if (dragProc_ != nullptr) dragProc_(dragRefCon_, 0, 0, true);
    }
    QWidget::mouseReleaseEvent(event);
  }

 private:
  Movie TheMovie() const { return MCGetMovie(mc_); }
  double FrameSeconds() const {
    Movie movie = TheMovie();
    const OSType visual = VisualMediaCharacteristic;
    TimeValue next = -1, duration = 0;
    GetMovieNextInterestingTime(movie, nextTimeStep | nextTimeEdgeOK, 1, &visual, 0, fixed1, &next, &duration);
    const TimeScale scale = std::max<TimeScale>(GetMovieTimeScale(movie), 1);
    return duration > 0 ? double(duration) / scale : 1.0 / 25.0;
  }
  TimeValue LastFrameTime() const {
    Movie movie = TheMovie();
    const OSType visual = VisualMediaCharacteristic;
    TimeValue last = -1;
    GetMovieNextInterestingTime(movie, nextTimeStep, 1, &visual, GetMovieDuration(movie), -fixed1, &last, nullptr);
    return std::max<TimeValue>(last, 0);
  }
  void GoTo(TimeValue time) {
    Movie movie = TheMovie();
    TimeRecord record{};
    record.value.hi = 0;
    record.value.lo = UInt32(std::max<TimeValue>(time, 0));
    record.scale = GetMovieTimeScale(movie);
    record.base = GetMovieTimeBase(movie);
    MCDoAction(mc_, mcActionGoToTime, &record);
    update();
  }
  void Step(int direction) {
    Movie movie = TheMovie();
    const OSType visual = VisualMediaCharacteristic;
    TimeValue next = -1;
    GetMovieNextInterestingTime(movie, nextTimeStep, 1, &visual, GetMovieTime(movie, nullptr),
                                direction < 0 ? -fixed1 : fixed1, &next, nullptr);
    if (next < 0 || next >= GetMovieDuration(movie)) return;
    StopPlaying();
    GoTo(next);
  }
  void StopPlaying() {
    Fixed rate = 0;
    MCDoAction(mc_, mcActionGetPlayRate, &rate);
    if (rate != 0) MCDoAction(mc_, mcActionPlay, nullptr);
    FollowRate();
  }
  void TogglePlay() {
    Fixed rate = 0;
    MCDoAction(mc_, mcActionGetPlayRate, &rate);
    if (rate != 0) {
      StopPlaying();
      return;
    }
    // Playing from the end starts again at the beginning.
    Movie movie = TheMovie();
    if (GetMovieTime(movie, nullptr) >= LastFrameTime()) GoTo(0);
    MCDoAction(mc_, mcActionPrerollAndPlay, reinterpret_cast<void *>(intptr_t(fixed1)));
    FollowRate();
  }
  void Scrub(int x) {
    const int left = kPlayButtonWidth, right = std::max(left + 1, width() - kTimeWidth);
    const double fraction = std::clamp(double(x - left) / double(right - left), 0.0, 1.0);
    const TimeValue duration = GetMovieDuration(TheMovie());
    GoTo(std::min<TimeValue>(TimeValue(fraction * duration), std::max<TimeValue>(duration - 1, 0)));
  }
  void Tick() {
    Movie movie = TheMovie();
    const TimeScale scale = GetMovieTimeScale(movie);
    const TimeValue delta = std::max<TimeValue>(1, TimeValue(std::lround(FrameSeconds() * scale)));
    PL_MCAdvanceTime(mc_, delta);
    Fixed rate = 0;
    MCDoAction(mc_, mcActionGetPlayRate, &rate);
    if (rate == 0) timer_.stop();
    update();
  }
  // Decodes only when the time or the size changed.
  void Decode(const QSize &size) {
    Movie movie = TheMovie();
    const TimeValue now = GetMovieTime(movie, nullptr);
    if (size.isEmpty()) return;
    if (now == shownTime_ && size == image_.size()) return;
    if (world_ == nullptr || worldSize_ != size) {
      if (world_ != nullptr) DisposeGWorld(world_);
      world_ = nullptr;
      const Rect bounds{0, 0, SInt16(size.height()), SInt16(size.width())};
      if (QTNewGWorld(&world_, k32BGRAPixelFormat, &bounds, nullptr, nullptr, 0) != noErr) return;
      worldSize_ = size;
    }
    // The movie box lies in the window; the world is the picture alone.
    Rect savedBox{};
    GetMovieBox(movie, &savedBox);
    const Rect box{0, 0, SInt16(size.height()), SInt16(size.width())};
    SetMovieBox(movie, &box);
    SetMovieGWorld(movie, world_, nullptr);
    UpdateMovie(movie);
    MoviesTask(movie, 0);
    SetMovieGWorld(movie, nullptr, nullptr);
    SetMovieBox(movie, &savedBox);
    PixMapHandle pm = GetGWorldPixMap(world_);
    const auto *base = reinterpret_cast<const uchar *>(GetPixBaseAddr(pm));
    image_ = QImage(base, size.width(), size.height(), GetPixRowBytes(pm), QImage::Format_RGB32).copy();
    shownTime_ = now;
  }
  void DrawBar(QPainter &painter, const QRect &bar) {
    painter.fillRect(bar, QColor(60, 60, 60));
    Fixed rate = 0;
    MCDoAction(mc_, mcActionGetPlayRate, &rate);
    painter.setPen(Qt::white);
    painter.setBrush(Qt::white);
    const QRect button(bar.left() + 5, bar.top() + 3, 10, 10);
    if (rate != 0) {
      painter.fillRect(QRect(button.left(), button.top(), 3, 10), Qt::white);
      painter.fillRect(QRect(button.left() + 6, button.top(), 3, 10), Qt::white);
    } else {
      const QPoint triangle[] = {button.topLeft(), QPoint(button.right(), button.center().y()), button.bottomLeft()};
      painter.drawPolygon(triangle, 3);
    }
    const int left = kPlayButtonWidth, right = std::max(left + 1, bar.width() - kTimeWidth);
    painter.fillRect(QRect(left, bar.top() + 7, right - left, 2), QColor(160, 160, 160));
    Movie movie = TheMovie();
    const TimeValue duration = std::max<TimeValue>(GetMovieDuration(movie), 1);
    const TimeValue now = GetMovieTime(movie, nullptr);
    const int x = left + int(double(now) / duration * (right - left));
    painter.fillRect(QRect(x - 2, bar.top() + 3, 5, 10), Qt::white);
    const TimeScale scale = std::max<TimeScale>(GetMovieTimeScale(movie), 1);
    const long seconds = long(now / scale);
    painter.drawText(QRect(right + 4, bar.top(), kTimeWidth - 4, bar.height()), Qt::AlignVCenter | Qt::AlignLeft,
                     QString::asprintf("%ld:%02ld:%02ld", seconds / 3600, (seconds / 60) % 60, seconds % 60));
  }

  MovieController mc_;
  QTimer timer_;
  QRect frame_;
  QImage image_;
  GWorldPtr world_ = nullptr;
  QSize worldSize_;
  TimeValue shownTime_ = -1;
  bool scrubbing_ = false;
  bool dragging_ = false;
  QPoint lastDrag_;
  PL_MovieControlDragProcPtr dragProc_ = nullptr;
  void *dragRefCon_ = nullptr;
};

struct MovieControlRecord {
  WindowRef window;
  MovieController controller;
  QPointer<MovieView> view;
};

std::map<ControlRef, MovieControlRecord> &MovieControls() {
  static std::map<ControlRef, MovieControlRecord> controls;
  return controls;
}

MovieView *ViewOf(ControlRef control) {
  auto it = MovieControls().find(control);
  return it != MovieControls().end() ? it->second.view.data() : nullptr;
}

// The widget follows its control's bounds and visibility.
void FollowControl(WindowRef, HIViewID, ControlRef control) {
  if (control == nullptr) return;
  auto it = MovieControls().find(control);
  if (it == MovieControls().end()) return;
  MovieView *view = it->second.view.data();
  if (view == nullptr) return;
  Rect r{};
  GetControlBounds(control, &r);
  if (r.bottom <= r.top || r.right <= r.left) return;  // not placed yet
  const QRect geometry(r.left, r.top, r.right - r.left, r.bottom - r.top);
  if (view->geometry() != geometry) {
    view->setGeometry(geometry);
    MCSetControllerBoundsRect(view->Controller(), &r);
  }
  view->setVisible(IsControlVisible(control));
  view->FollowRate();
}

// Paints a view from its ARGB source.
class ARGBPainter : public QObject {
 public:
  ARGBPainter(QWidget *view, PL_ARGBSourceProcPtr proc, void *refCon) : QObject(view), proc_(proc), refCon_(refCon) {}

 protected:
  bool eventFilter(QObject *watched, QEvent *event) override {
    if (event->type() != QEvent::Paint) return false;
    auto *view = static_cast<QWidget *>(watched);
    QPainter painter(view);
    painter.fillRect(view->rect(), view->palette().window());
    const UInt8 *first = nullptr;
    SInt32 rowBytes = 0, width = 0, height = 0;
    if (proc_(refCon_, &first, &rowBytes, &width, &height) && first != nullptr) {
      const int w = std::min<int>(width, view->width()), h = std::min<int>(height, view->height());
      if (w > 0 && h > 0) painter.drawImage(0, 0, ImageFromARGB(first, rowBytes, w, h));
    }
    return true;
  }

 private:
  PL_ARGBSourceProcPtr proc_;
  void *refCon_;
};

}  // namespace

OSStatus CreateMovieControl(WindowRef theWindow, const Rect *localRect, Movie theMovie, UInt32 options,
                            ControlRef *returnedControl) {
  if (returnedControl != nullptr) *returnedControl = nullptr;
  if (theWindow == nullptr || localRect == nullptr || theMovie == nullptr || returnedControl == nullptr)
    return paramErr;
  QWidget *windowWidget = PL_GetWindowWidget(theWindow);
  if (windowWidget == nullptr) return paramErr;
  static SInt32 serial = 0;
  static bool observing = false;
  if (!observing) {
    PL_AddControlObserver(FollowControl);
    observing = true;
  }
  MovieController mc = NewMovieController(theMovie, localRect, mcScaleMovieToFit);
  if (mc == nullptr) return memFullErr;
  // A provisional identifier: the caller gives the control its own.
  const HIViewID id{'mcvw', ++serial};
  ControlRef control = nullptr;
  OSStatus err = PL_NewControl(theWindow, &id, &control);
  if (err != noErr) {
    DisposeMovieController(mc);
    return err;
  }
  // The content widget (the window's only child widget) holds the views, in the same coordinates.
  QWidget *content = windowWidget->findChild<QWidget *>(QString(), Qt::FindDirectChildrenOnly);
  auto *view = new MovieView(content != nullptr ? content : windowWidget, mc);
  MovieControls()[control] = MovieControlRecord{theWindow, mc, view};
  Boolean keys = (options & kMovieControlOptionSetKeysEnabled) != 0;
  MCDoAction(mc, mcActionSetKeysEnabled, reinterpret_cast<void *>(intptr_t(keys)));
  SetControlData(control, kControlEntireControl, kMovieControlDataTag, sizeof(mc), &mc);
  SetControlBounds(control, localRect);
  view->show();
  view->raise();
  *returnedControl = control;
  return noErr;
}

void PL_DisposeMovieControl(ControlRef control) {
  auto it = MovieControls().find(control);
  if (it == MovieControls().end()) return;
  MovieController mc = it->second.controller;
  delete it->second.view.data();
  MovieControls().erase(it);
  DisposeMovieController(mc);
  DisposeControl(control);
}

Boolean PL_IsMovieControl(ControlRef control) { return ViewOf(control) != nullptr; }

OSStatus PL_MovieControlSetFrameRect(ControlRef control, const Rect *frame) {
  MovieView *view = ViewOf(control);
  if (view == nullptr || frame == nullptr) return paramErr;
  view->SetFrameRect(QRect(frame->left, frame->top, frame->right - frame->left, frame->bottom - frame->top));
  return noErr;
}

OSStatus PL_MovieControlSetDragProc(ControlRef control, PL_MovieControlDragProcPtr proc, void *refCon) {
  MovieView *view = ViewOf(control);
  if (view == nullptr) return paramErr;
  view->SetDragProc(proc, refCon);
  return noErr;
}

OSStatus PL_MovieControlUpdate(ControlRef control) {
  MovieView *view = ViewOf(control);
  if (view == nullptr) return paramErr;
  view->FollowRate();
  view->Refresh();
  return noErr;
}

OSStatus PL_SetViewARGBSource(WindowRef window, HIViewID id, PL_ARGBSourceProcPtr proc, void *refCon) {
  QWidget *view = PL_GetControlWidget(window, id);
  if (view == nullptr) return errUnknownControl;
  for (ARGBPainter *old : view->findChildren<ARGBPainter *>(QString(), Qt::FindDirectChildrenOnly)) {
    view->removeEventFilter(old);
    delete old;
  }
  if (proc == nullptr) return noErr;
  auto *painter = new ARGBPainter(view, proc, refCon);
  view->installEventFilter(painter);
  view->update();
  return noErr;
}
