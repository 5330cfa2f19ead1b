// vantrel-studio: the desktop host of the stage. `vantrel studio [SCENE]` runs it.
#include <QApplication>
#include <QCommandLineParser>
#include <QMessageBox>

#include <cstdio>
#include <cstdlib>

#include "stage/cli/PluginLoader.h"
#include "stage/studio/MainWindow.h"
#include "stage/studio/PluginHost.h"

namespace {

constexpr const char* NoDisplay =
    "vantrel-studio: there is no display to show the studio on: run it in a desktop session, set DISPLAY "
    "(an X server) or WAYLAND_DISPLAY, or run it under xvfb-run\n";

// Qt ends the program (abort, exit 134) when no platform plug-in can open a display; the user
// gets the reason in words and exit code 1 instead. Other messages go where Qt sends them.
void OnQtMessage(QtMsgType type, const QMessageLogContext& context, const QString& text) {
  if (type == QtFatalMsg) {
    std::fprintf(stderr, "%s\n%s", text.toLocal8Bit().constData(), NoDisplay);
    std::_Exit(1);
  }
  const QByteArray line = qFormatLogMessage(type, context, text).toLocal8Bit();
  std::fprintf(stderr, "%s\n", line.constData());
}

// True when Qt is left to pick a platform that needs a display server and none is named.
bool DisplayMissing() {
  const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
  if (!platform.isEmpty() && !platform.startsWith("xcb") && !platform.startsWith("wayland")) return false;
  return qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

}  // namespace

int main(int argc, char** argv) {
  if (DisplayMissing()) {
    std::fputs(NoDisplay, stderr);
    return 1;
  }
  qInstallMessageHandler(OnQtMessage);
  QApplication app(argc, argv);
  qInstallMessageHandler(nullptr);
  QApplication::setOrganizationName("Vantrel");
  QApplication::setApplicationName("Vantrel Studio");

  QCommandLineParser parser;
  parser.setApplicationDescription("Vantrel Studio: build, animate, preview and render scenes with the Vantrel plug-in");
  parser.addHelpOption();
  QCommandLineOption pluginOption("plugin", "The plug-in module (default: vantrel.tsx beside this program).", "PATH");
  parser.addOption(pluginOption);
  parser.addPositionalArgument("SCENE", "A scene file to open.", "[SCENE]");
  parser.process(app);

  stage::studio::TMainWindow window;
  window.show();
  try {
    const std::filesystem::path plugin = parser.isSet(pluginOption) ? parser.value(pluginOption).toStdString()
                                                                     : stage::cli::DefaultPluginPath().string();
    window.SetPlugin(stage::studio::LoadStudioPlugin(plugin));
  } catch (const std::exception& e) {
    QMessageBox::warning(&window, "Vantrel Studio",
                         QString("%1\nThe studio runs without it.").arg(QString::fromStdString(e.what())));
  }
  if (!parser.positionalArguments().isEmpty())
    window.OpenScene(parser.positionalArguments().front());
  else
    window.OfferUntitledRecovery();
  return app.exec();
}
