#!/usr/bin/env bash
# Writes the GIMP files of this folder again with GIMP 2.10 in batch mode (install it with
# `bash tools/setup.sh --fixture-makers`). The files are committed; tests only read them.
#   gimp-2.10-rle-v012.xcf   16-bit RGB, a layer group holding a layer with a mask, a
#                            channel and a selection; RLE tiles (GIMP's default)
#   gimp-2.10-zlib-v011.xcf  8-bit RGB, a layer with a mask and a channel; zlib tiles.
#                            GIMP offers zlib only in its save dialog but keeps the
#                            compression of a file it loads, so a small zlib file written
#                            here is loaded and saved again by GIMP.
set -euo pipefail
cd "$(dirname "$0")"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
gimp_batch() { gimp -i --batch-interpreter=plug-in-script-fu-eval -b - >/dev/null 2>&1; }

gimp_batch <<SCM
(let* ((img (car (gimp-image-new-with-precision 130 90 RGB PRECISION-U16-GAMMA)))
       (bg (car (gimp-layer-new img 130 90 RGB-IMAGE "background" 100 LAYER-MODE-NORMAL)))
       (group (car (gimp-layer-group-new img)))
       (top (car (gimp-layer-new img 60 40 RGBA-IMAGE "top" 80 LAYER-MODE-MULTIPLY)))
       (chan (car (gimp-channel-new img 130 90 "saved selection" 50 '(255 0 0))))
       (mask 0))
  (gimp-image-insert-layer img bg 0 0)
  (gimp-context-set-foreground '(40 90 200))
  (gimp-drawable-fill bg FILL-FOREGROUND)
  (gimp-image-insert-layer img group 0 0)
  (gimp-image-insert-layer img top group 0)
  (gimp-layer-set-offsets top 20 15)
  (plug-in-plasma RUN-NONINTERACTIVE img top 5 2.5)
  (set! mask (car (gimp-layer-create-mask top ADD-MASK-WHITE)))
  (gimp-layer-add-mask top mask)
  (gimp-image-insert-channel img chan 0 0)
  (gimp-drawable-fill chan FILL-WHITE)
  (gimp-image-select-ellipse img CHANNEL-OP-REPLACE 10 10 50 40)
  (gimp-xcf-save 0 img bg "$PWD/gimp-2.10-rle-v012.xcf" "$PWD/gimp-2.10-rle-v012.xcf")
  (gimp-quit 0))
SCM

# A version 11 file with one 100 x 70 layer of random pixels in zlib tiles.
python3 - "$work/seed.xcf" <<'PY'
import random, struct, sys, zlib
random.seed(3)
w, h = 100, 70
out = bytearray(b"gimp xcf v011\0")
out += struct.pack(">IIII", w, h, 0, 150)              # size, RGB, 8-bit gamma precision
out += struct.pack(">II", 17, 1) + b"\x02"             # compression: zlib
out += struct.pack(">II", 0, 0)                        # end of properties
def slot():
    at = len(out); out.extend(bytes(8)); return at
def patch(at, value): out[at:at + 8] = struct.pack(">Q", value)
layer = slot(); slot(); slot()                         # one layer, no channels
patch(layer, len(out))
out += struct.pack(">III", w, h, 1) + struct.pack(">I", 6) + b"layer\0" + struct.pack(">II", 0, 0)
hierarchy = slot(); slot()                             # no mask
patch(hierarchy, len(out))
out += struct.pack(">III", w, h, 4)
level = slot(); slot()
patch(level, len(out))
out += struct.pack(">II", w, h)
cols, rows = (w + 63) // 64, (h + 63) // 64
tiles = [slot() for _ in range(cols * rows)]; slot()
for i, at in enumerate(tiles):
    tw, th = min(64, w - i % cols * 64), min(64, h - i // cols * 64)
    patch(at, len(out))
    out += zlib.compress(bytes(random.randrange(256) if k % 4 != 3 else 255 for k in range(tw * th * 4)), 6)
open(sys.argv[1], "wb").write(out)
PY
gimp_batch <<SCM
(let* ((img (car (gimp-xcf-load 0 "$work/seed.xcf" "$work/seed.xcf")))
       (layer (aref (cadr (gimp-image-get-layers img)) 0))
       (chan (car (gimp-channel-new img 100 70 "mask" 50 '(0 255 0))))
       (mask 0))
  (gimp-image-insert-channel img chan 0 0)
  (gimp-drawable-fill chan FILL-WHITE)
  (set! mask (car (gimp-layer-create-mask layer ADD-MASK-ALPHA)))
  (gimp-layer-add-mask layer mask)
  (gimp-xcf-save 0 img layer "$PWD/gimp-2.10-zlib-v011.xcf" "$PWD/gimp-2.10-zlib-v011.xcf")
  (gimp-quit 0))
SCM
ls -l ./*.xcf
