// The particle pictures the plug-in ships in its data folder (Vantrel/maps/): each drawn from a
// formula and seeded noise, so that the same program writes the same bytes on every run.
//
// A picture is white or nearly so, with a real alpha channel: the particle's colour tints it.
// Colours are straight (not multiplied by alpha), as the image cache keeps a PNG's alpha and
// the renderer multiplies by it when it blends; clear pixels keep the colour of their
// neighbours, so that filtering a sprite brings no dark fringe in. Every picture fades to clear
// before its border, so no particle shows the edge of its square.
#pragma once

#include <string>
#include <vector>

#include "stage/ScreenBuffer.h"

// Straight colour and alpha, each 0 to 1.
struct TShade {
  double R = 1, G = 1, B = 1, A = 0;
};

struct TPictureRecipe {
  std::string Name;         // the file is Name + ".png"
  std::string Description;  // one line for the docs
  int Size = 128;           // pixels a side
  int Samples = 3;          // sub-samples per pixel side, for thin lines and sharp edges
  // The picture at a point of the square [-1, 1]², x to the right, y up.
  TShade (*Shade)(double x, double y) = nullptr;
};

// Every picture, in the order of the contact sheet.
const std::vector<TPictureRecipe>& ParticlePictures();

// Draws a picture: colours straight in R, G, B, alpha in A. Deterministic.
stage::TScreenBuffer DrawPicture(const TPictureRecipe& recipe);

// All pictures side by side, five to a row, each over a dark checkerboard that shows its alpha;
// an opaque image.
stage::TScreenBuffer ContactSheet(const std::vector<stage::TScreenBuffer>& pictures);
