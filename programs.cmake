# The suite's programs, one entry each (see suite_program in cmake/Suite.cmake).
suite_program(circle_finder PICTURES coins.png WINDOWS "Hough Circle Transform Demo"
  DESKTOP "Circle finder" "Mark the circles found in the picture")
suite_program(patch_finder PICTURES shapes.png patch.png WINDOWS "Source Image" "Result window" SLIDER 5
  BENCH_MOVES 3 5 1)
suite_program(equalizer PICTURES dim.png WINDOWS "Source image" "Equalized Image"
  USAGE "Usage: ./equalizer <path_to_image>"
  DESKTOP "Histogram equalizer" "Show the picture in grey beside its equalized histogram"
  BENCH_TOOL -colorspace Gray -equalize)
suite_program(laplace_view PICTURES shapes.heic WINDOWS "Laplace Demo"
  DESKTOP "Laplacian edges" "Show where the grey levels of the picture change sharply"
  BENCH_TOOL -colorspace Gray -morphology Convolve Laplacian:0)
suite_program(edge_tuner PICTURES shapes.png WINDOWS "Edge Map" SLIDER 100
  DESKTOP "Canny edge tuner" "Show the edges of the picture in its colours, with a threshold slider"
  BENCH_MOVES 20 50 100 0 BENCH_TOOL -colorspace Gray -canny 0x1+10%+30%)
