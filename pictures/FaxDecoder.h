// Bilevel fax coding read by our own code: the one-dimensional modified Huffman coding of TIFF
// compressions 2 and 3, for the files libtiff's fax decoder gives up on (Group 3 pages written
// without EOL codes).
#pragma once

#include "pictures/PictureFormats.h"

struct TFaxCoding {
  // Modified Huffman as TIFF compression 2 stores it: every row starts on a byte boundary and
  // no row has an EOL code. Otherwise Group 3 one-dimensional: rows follow bit after bit, each
  // with or without an EOL code (and fill bits) in front.
  bool RowsByteAligned = false;
  bool LsbFirst = false;  // FillOrder 2: the first bit of each byte is its lowest
  // Photometric 0: white runs are white. Photometric 1 stores the same codes with the
  // meaning of 0 and 1 swapped, so "white" runs show black.
  bool MinIsWhite = true;
};

// Decodes rows [firstRow, firstRow + rows) of the image from one strip's bytes. Every row's runs
// must add up to the image's width exactly and the strip must hold all the rows; anything else
// (a code no table has, an EOL inside a row, the data ending early) raises TBadPicture. Bytes
// after the last row (the end-of-page codes) are not read.
void DecodeFaxStrip(TBytes strip, const TFaxCoding& coding, uint32_t firstRow, uint32_t rows, TBitmap32& image);
