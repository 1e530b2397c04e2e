#!/usr/bin/env bash
# Fills a fuzz target's seed folder: the sample pictures, the BMP test suite when it is there,
# JPEG variants made with ImageMagick when it is there, and one filter call per filter for the
# call and script targets.
# Usage: scripts/fuzz-seeds.sh TARGET FOLDER [BMPSUITE]
set -euo pipefail
target=$1 folder=$2 bmpsuite=${3:-}
mkdir -p "$folder"

calls=("Gauss(YYY 3 2)" "Median(YYY 2)" "Invert(YNY)" "Morpho(YYY 2 3)" "GrayScale(YYY 1)"
       "GaussianNoise(YYY 128 20 12)" "LightAlign(YYY 4 3)" "AutoColor(YYY 1)" "Box(YYY 2)"
       "kMeans(YYY 3 1 1)" "Markup(YYY 16 16 16)" "Binarize(YYY 1 128)" "Rotate(YYY 30 50)"
       "GSharpen(YYY 3 2)" "MarkupAverage(YYY 8 8 8)")

case $target in
  bmp)
    cp data/*.bmp "$folder"/
    if [ -n "$bmpsuite" ] && [ -d "$bmpsuite" ]; then
      find "$bmpsuite" -name '*.bmp' -size -64k -exec cp {} "$folder"/ \;
    fi
    ;;
  jpeg)
    cp data/*.jpg "$folder"/
    # Small files of the other kinds libjpeg reads: grey, CMYK, progressive, other sampling.
    if command -v convert > /dev/null; then
      variants=("-colorspace Gray" "-colorspace CMYK" "-interlace Plane" "-sampling-factor 2x2"
                "-sampling-factor 1x1 -quality 95" "-sampling-factor 2x1 -interlace Plane")
      for i in "${!variants[@]}"; do
        # shellcheck disable=SC2086  # each variant is a list of options
        convert -size 40x24 gradient:orange-navy -swirl 60 ${variants[$i]} "$folder/variant-$i.jpg"
      done
    fi
    ;;
  filters)
    # Selection flag and bounds, a 9 x 7 picture from the sample's bytes, then the call.
    for i in "${!calls[@]}"; do
      {
        printf '\001\002\001\006\005\010\006'
        head -c 400 data/sample.bmp | tail -c 189
        printf '%s\n' "${calls[$i]}"
      } > "$folder/call-$i"
    done
    ;;
  script)
    for i in "${!calls[@]}"; do
      printf 'Invert(YYY)\r\n%s\n' "${calls[$i]}" > "$folder/script-$i.ivs"
    done
    ;;
  *)
    echo "unknown fuzz target: $target" >&2
    exit 2
    ;;
esac
