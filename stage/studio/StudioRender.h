// The studio's renders: Render Frame into the render window and Render Animation into files, both
// through the stage's render pipeline as `vantrel render` renders (the same events, frames,
// write options and writer thread), with the frames shown in the render window as they come and
// the plug-in's messages failing the run. The main window asks and shows; this unit renders.
#pragma once

#include <QString>
#include <QStringList>
#include <filesystem>
#include <functional>

#include "stage/RenderPipeline.h"

class QProgressDialog;

namespace stage::studio {

class TRenderWindow;

// What a studio render came to, in the words the studio shows.
struct TStudioRenderReport {
  TRenderResult Run;
  QStringList Messages;   // what the plug-in reported during the run
  QString Status;         // for the status bar: what was rendered or written
  QString Failure;        // for a message box: empty when the run succeeded or was cancelled
};

// Renders frame into the render window. The image kept for Save Image is the frame as a render
// writes it.
TStudioRenderReport RenderStudioFrame(float frame, TRenderWindow& window);

// Renders frames first..last into the files fileOf names, in format. progress shows the frame being
// rendered; its Cancel (through the host's interrupt) stops the run before the next frame.
TStudioRenderReport RenderStudioAnimation(int first, int last,
                                          const std::function<std::filesystem::path(double)>& fileOf,
                                          TImageFormat format, TRenderWindow& window, QProgressDialog& progress);

}  // namespace stage::studio
