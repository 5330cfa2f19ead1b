// The plug-in's platform in a Qt host.
#include "ui/qt/QtPlatform.h"

#include <dlfcn.h>

#include <QApplication>
#include <QColorDialog>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QImageReader>
#include <QKeyEvent>
#include <QLabel>
#include <QMainWindow>
#include <QMessageBox>
#include <QMouseEvent>
#include <QStatusBar>
#include <QTextBrowser>
#include <QUrl>

#include "ui/qt/HostWindow.h"

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

QString StartPath(const std::string& folder, const std::string& fileName) {
  if (fileName.empty()) return Q(folder);
  return folder.empty() ? Q(fileName) : QDir(Q(folder)).filePath(Q(fileName));
}

// Windows message numbers of the mouse, the convention the hooks speak.
constexpr uint32_t WmMouseMove = 0x200, WmLButtonDown = 0x201, WmLButtonUp = 0x202, WmRButtonDown = 0x204,
                   WmRButtonUp = 0x205, WmMButtonDown = 0x207, WmMButtonUp = 0x208, WmMouseWheel = 0x20A;

uint32_t MouseMessage(const QMouseEvent& e) {
  const bool down = e.type() == QEvent::MouseButtonPress || e.type() == QEvent::MouseButtonDblClick;
  switch (e.button()) {
    case Qt::LeftButton: return down ? WmLButtonDown : WmLButtonUp;
    case Qt::RightButton: return down ? WmRButtonDown : WmRButtonUp;
    case Qt::MiddleButton: return down ? WmMButtonDown : WmMButtonUp;
    default: return WmMouseMove;
  }
}

uint32_t PackPoint(QPointF p) {
  return (static_cast<uint32_t>(static_cast<int16_t>(p.y())) << 16) | static_cast<uint16_t>(static_cast<int16_t>(p.x()));
}

}  // namespace

uint32_t VirtualKeyOf(int key) {
  if ((key >= Qt::Key_A && key <= Qt::Key_Z) || (key >= Qt::Key_0 && key <= Qt::Key_9)) return static_cast<uint32_t>(key);
  if (key >= Qt::Key_F1 && key <= Qt::Key_F24) return 0x70u + static_cast<uint32_t>(key - Qt::Key_F1);
  switch (key) {
    case Qt::Key_Escape: return 0x1B;
    case Qt::Key_Return: case Qt::Key_Enter: return 0x0D;
    case Qt::Key_Space: return 0x20;
    case Qt::Key_Tab: return 0x09;
    case Qt::Key_Backspace: return 0x08;
    case Qt::Key_Left: return 0x25;
    case Qt::Key_Up: return 0x26;
    case Qt::Key_Right: return 0x27;
    case Qt::Key_Down: return 0x28;
    case Qt::Key_Insert: return 0x2D;
    case Qt::Key_Delete: return 0x2E;
    case Qt::Key_Home: return 0x24;
    case Qt::Key_End: return 0x23;
    case Qt::Key_PageUp: return 0x21;
    case Qt::Key_PageDown: return 0x22;
    case Qt::Key_Shift: return 0x10;
    case Qt::Key_Control: return 0x11;
    case Qt::Key_Alt: return 0x12;
    default: return 0;
  }
}

TQtPlatform::TQtPlatform() {
  Clock_.start();
  // Escape's state and the hooks come from every event of the application.
  qApp->installEventFilter(this);
}

TQtPlatform::~TQtPlatform() {
  if (qApp) qApp->removeEventFilter(this);
}

void TQtPlatform::Beep() { QApplication::beep(); }

TDrawSurface* TQtPlatform::ViewSurface(void* window) {
  auto* view = static_cast<QWidget*>(window);
  if (!view) return nullptr;
  if (!Canvas_ || Canvas_->parentWidget() != view) {
    // One canvas per view window, made at the first use and kept with the view.
    Canvas_ = view->findChild<TQtViewCanvas*>("VantrelViewCanvas", Qt::FindDirectChildrenOnly);
    if (!Canvas_) Canvas_ = new TQtViewCanvas(view);
  }
  return Canvas_.data();
}

void TQtPlatform::FlushCanvas() {
  if (Canvas_) Canvas_->Flush();
}

uint32_t TQtPlatform::TickCount() {
  FlushCanvas();
  return static_cast<uint32_t>(Clock_.elapsed());
}

bool TQtPlatform::EscapePressed() {
  ProcessEvents();
  // Down now, or tapped since the last question and lately: a quick press and release between
  // two checks of a loop still counts, a tap long before the loop asked (closing a dialog) not.
  const bool pressed = Escape_ || (EscapeTapped_ && Clock_.elapsed() - EscapeTapAt_ < EscapeTapMemoryMs);
  EscapeTapped_ = false;
  return pressed;
}

void TQtPlatform::ProcessEvents() {
  FlushCanvas();
  QCoreApplication::processEvents();
}

void TQtPlatform::ShowMessage(const std::string& text) {
  QMessageBox::information(HostMainWindow(), "Vantrel", Q(text));
  // The host hears of it too, as a host without windows does: a render in which the plug-in
  // reported a problem has failed, whoever showed the message.
  using THostText = void (*)(const char*);
  static const auto tellHost = reinterpret_cast<THostText>(dlsym(RTLD_DEFAULT, "tsxHostShowMessage"));
  if (tellHost) tellHost(text.c_str());
}

bool TQtPlatform::Confirm(const std::string& text) {
  return QMessageBox::question(HostMainWindow(), "Vantrel", Q(text),
                               QMessageBox::Yes | QMessageBox::No, QMessageBox::No) == QMessageBox::Yes;
}

void TQtPlatform::SetBusyCursor(bool busy) {
  if (busy) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    ++BusyDepth_;
  } else if (BusyDepth_ > 0) {
    QApplication::restoreOverrideCursor();
    --BusyDepth_;
  }
}

void TQtPlatform::SetStatusText(const std::string& text) {
  if (auto* main = qobject_cast<QMainWindow*>(HostMainWindow())) main->statusBar()->showMessage(Q(text));
}

std::vector<std::string> TQtPlatform::OpenPictures(const std::string& folder, const std::string& fileName,
                                                   bool multiSelect) {
  QFileDialog dialog(HostMainWindow(), "Open Picture", Q(folder));
  dialog.setOption(QFileDialog::DontUseNativeDialog);  // the preview lives in Qt's own dialog
  dialog.setFileMode(multiSelect ? QFileDialog::ExistingFiles : QFileDialog::ExistingFile);
  dialog.setNameFilters({"Pictures (*.bmp *.png *.jpg *.jpeg *.tif *.tiff *.tga *.gif *.psd *.pnm *.ppm *.pgm)",
                         "All files (*)"});
  if (!fileName.empty()) dialog.selectFile(Q(fileName));
  // The preview: the picture under the cursor, scaled into a square beside the list.
  auto* preview = new QLabel(&dialog);
  preview->setObjectName("picturePreview");
  preview->setFixedSize(180, 180);
  preview->setAlignment(Qt::AlignCenter);
  preview->setFrameShape(QFrame::StyledPanel);
  if (auto* grid = qobject_cast<QGridLayout*>(dialog.layout())) grid->addWidget(preview, 1, 3, 3, 1);
  QObject::connect(&dialog, &QFileDialog::currentChanged, preview, [preview](const QString& path) {
    QImageReader reader(path);
    reader.setAutoTransform(true);
    const QImage image = reader.read();
    if (image.isNull()) {
      preview->setText(QFileInfo(path).isFile() ? "No preview" : QString());
      return;
    }
    preview->setPixmap(QPixmap::fromImage(image.scaled(preview->size() - QSize(8, 8), Qt::KeepAspectRatio,
                                                       Qt::SmoothTransformation)));
  });
  std::vector<std::string> picked;
  if (dialog.exec() != QDialog::Accepted) return picked;
  for (const QString& f : dialog.selectedFiles()) picked.push_back(f.toStdString());
  if (!multiSelect && picked.size() > 1) picked.resize(1);
  return picked;
}

namespace {

// One file dialog, modal over the host's window; the default extension goes on a typed name that
// has none, and saving asks before overwriting (Qt's own question).
std::string RunFileDialog(QFileDialog::AcceptMode mode, const std::string& title, const std::string& filter,
                          const std::string& folder, const std::string& fileName, const std::string& defaultExt) {
  QFileDialog dialog(HostMainWindow(), Q(title), StartPath(folder, fileName), Q(filter));
  dialog.setAcceptMode(mode);
  dialog.setFileMode(mode == QFileDialog::AcceptOpen ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
  if (!defaultExt.empty()) dialog.setDefaultSuffix(Q(defaultExt));
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
  return dialog.selectedFiles().front().toStdString();
}

}  // namespace

std::string TQtPlatform::OpenFile(const std::string& title, const std::string& filter, const std::string& folder,
                                  const std::string& fileName, const std::string& defaultExt) {
  return RunFileDialog(QFileDialog::AcceptOpen, title, filter, folder, fileName, defaultExt);
}

std::string TQtPlatform::SaveFile(const std::string& title, const std::string& filter, const std::string& folder,
                                  const std::string& fileName, const std::string& defaultExt) {
  return RunFileDialog(QFileDialog::AcceptSave, title, filter, folder, fileName, defaultExt);
}

bool TQtPlatform::PickColor(uint32_t& color) {
  const QColor picked = QColorDialog::getColor(ColorOfRef(color), HostMainWindow(), "Colour");
  if (!picked.isValid()) return false;
  color = static_cast<uint32_t>(picked.red()) | (static_cast<uint32_t>(picked.green()) << 8) |
          (static_cast<uint32_t>(picked.blue()) << 16);
  return true;
}

bool TQtPlatform::ShowHelp(const std::string& file) {
  // A file that cannot be read is reported by the caller ("Cannot open help file ..."), once.
  QFile f(Q(file));
  if (!f.open(QIODevice::ReadOnly)) return false;
  auto* viewer = new QTextBrowser(HostMainWindow());
  viewer->setWindowFlag(Qt::Window);
  viewer->setAttribute(Qt::WA_DeleteOnClose);
  viewer->setObjectName("helpViewer");
  viewer->setWindowTitle("Vantrel Help");
  viewer->setOpenExternalLinks(true);
  // Read as a page of its folder: its pictures and the pages it links to are found beside it.
  f.close();
  viewer->setSource(QUrl::fromLocalFile(QFileInfo(f).absoluteFilePath()), QTextDocument::MarkdownResource);
  viewer->resize(800, 700);
  viewer->show();
  return true;
}

bool TQtPlatform::HookKeys(std::function<void(uint32_t, uint32_t)> handler) {
  if (KeyHook_ || !handler) return false;
  KeyHook_ = std::move(handler);
  return true;
}

bool TQtPlatform::HookMouse(std::function<bool(uint32_t, uint32_t)> handler) {
  if (MouseHook_ || !handler) return false;
  MouseHook_ = std::move(handler);
  return true;
}

bool TQtPlatform::eventFilter(QObject* watched, QEvent* event) {
  // Every widget's event passes the application filter once per receiver; only a window's
  // (the receiver that first sees a key) counts, so the hooks hear each message once.
  switch (event->type()) {
    case QEvent::KeyPress:
    case QEvent::KeyRelease: {
      if (!watched->isWidgetType() || !static_cast<QWidget*>(watched)->isWindow()) break;
      auto* key = static_cast<QKeyEvent*>(event);
      const bool press = event->type() == QEvent::KeyPress;
      if (key->key() == Qt::Key_Escape && !key->isAutoRepeat()) {
        Escape_ = press;
        if (press) {
          EscapeTapped_ = true;
          EscapeTapAt_ = Clock_.elapsed();
        }
      }
      if (KeyHook_) {
        // Repeat count 1; bit 30 the previous state, bit 31 a release.
        const uint32_t flags = 1u | (key->isAutoRepeat() || !press ? 1u << 30 : 0u) | (press ? 0u : 1u << 31);
        KeyHook_(VirtualKeyOf(key->key()), flags);
      }
      break;
    }
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove: {
      if (!MouseHook_ || !watched->isWidgetType()) break;
      auto* mouse = static_cast<QMouseEvent*>(event);
      if (!MouseHook_(MouseMessage(*mouse), PackPoint(mouse->globalPosition()))) return true;
      break;
    }
    case QEvent::Wheel: {
      if (!MouseHook_ || !watched->isWidgetType()) break;
      auto* wheel = static_cast<QWheelEvent*>(event);
      if (!MouseHook_(WmMouseWheel, PackPoint(wheel->globalPosition()))) return true;
      break;
    }
    case QEvent::ApplicationDeactivate:
      Escape_ = EscapeTapped_ = false;
      break;
    default:
      break;
  }
  return QObject::eventFilter(watched, event);
}
