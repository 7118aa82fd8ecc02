// The grid of 4 x 3 cells over the screen and which listed file takes which
// cell.
#pragma once

#include <string>
#include <vector>

struct WindowCell {
  int x, y, width, height;
};

constexpr int kCellCount = 12;
extern WindowCell g_cells[kCellCount];  // computed once at start

// Cell 4r + c at (c * (W / 4), r * (H / 3)), each W / 4 x H / 3.
void ComputeCellTable(int screenWidth, int screenHeight);

struct PlannedWindow {
  std::string title;  // bare file name of the watched path
  WindowCell cell;
};

// For keys 0..keyCounter-1 in order, each listed path's bare file name and its
// cell (found entries counted modulo 12; removed keys take no cell). Cells of
// zero width or height are left out.
std::vector<PlannedWindow> PlanArrangement(int keyCounter);
