// The replaceable warning box.
#include "zip/zip_events.h"

#include <cstdio>
#include <mutex>

namespace zip {
namespace {

std::mutex g_boxMutex;
WarningBox g_box;

}  // namespace

void setWarningBox(WarningBox box) {
  std::lock_guard<std::mutex> lock(g_boxMutex);
  g_box = std::move(box);
}

void showWarningBox(const std::string& message) {
  WarningBox box;
  {
    std::lock_guard<std::mutex> lock(g_boxMutex);
    box = g_box;
  }
  if (box) {
    box(message);
  } else {
    std::fprintf(stderr, "Warning: %s\n", message.c_str());
  }
}

}  // namespace zip
