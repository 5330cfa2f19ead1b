// vantrel-studio: the desktop host of the stage. `vantrel studio [SCENE]` runs it.
#include <QApplication>
#include <QCommandLineParser>
#include <QMessageBox>

#include "stage/cli/PluginLoader.h"
#include "stage/studio/MainWindow.h"
#include "stage/studio/PluginHost.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
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
  if (!parser.positionalArguments().isEmpty()) window.OpenScene(parser.positionalArguments().front());
  return app.exec();
}
