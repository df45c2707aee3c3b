#!/usr/bin/env bash
# Prints how many glyph sets of the font grid are byte-identical between the
# native build and the Windows build under Wine, per face and quality.
#   bench/font_identity.sh [--quick] [--all]
exec "$(cd "$(dirname "$0")/.." && pwd)/scripts/font-identity" "$@"
