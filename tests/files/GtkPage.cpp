// The GTK 3 page read back, and the display the tests make widgets on.
#include "GtkPage.h"

#include <fcntl.h>
#include <glib-unix.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

namespace page_test {

namespace {

// An Xvfb server of the test's own, stopped when the program ends.
struct TXvfb {
  GPid Pid = 0;
  ~TXvfb() {
    if (Pid != 0) kill(Pid, SIGTERM);
  }
};
TXvfb gXvfb;

// In the child: Xvfb ends with the test program, however that ends.
void EndWithParent(gpointer /*AData*/) {
  prctl(PR_SET_PDEATHSIG, SIGTERM);
}

bool StartXvfb() {
  int pipe[2];
  if (!g_unix_open_pipe(pipe, FD_CLOEXEC, nullptr)) return false;
  const std::string fd = std::to_string(pipe[1]);
  const char* argv[] = {"Xvfb",        "-displayfd", fd.c_str(), "-screen", "0",
                        "1024x768x24", "-nolisten",  "tcp",      nullptr};
  GError* error = nullptr;
  GSpawnFlags flags = static_cast<GSpawnFlags>(G_SPAWN_SEARCH_PATH | G_SPAWN_STDOUT_TO_DEV_NULL |
                                               G_SPAWN_STDERR_TO_DEV_NULL);
  const int keep[] = {pipe[1]};
  const bool started = g_spawn_async_with_pipes_and_fds(
      nullptr, argv, nullptr, flags, EndWithParent, nullptr, -1, -1, -1, keep, keep, 1, &gXvfb.Pid,
      nullptr, nullptr, nullptr, &error);
  close(pipe[1]);
  if (!started) {
    g_error_free(error);
    close(pipe[0]);
    return false;
  }
  // Xvfb writes its display number once it accepts clients.
  std::string number;
  char c = 0;
  while (read(pipe[0], &c, 1) == 1 && c != '\n') number += c;
  close(pipe[0]);
  if (number.empty()) return false;
  g_setenv("DISPLAY", (":" + number).c_str(), TRUE);
  return true;
}

std::string LabelText(GtkWidget* AWidget) {
  return GTK_IS_LABEL(AWidget) ? gtk_label_get_text(GTK_LABEL(AWidget)) : "";
}

GtkGrid* FindGrid(GtkWidget* AWidget) {
  if (GTK_IS_GRID(AWidget)) return GTK_GRID(AWidget);
  if (!GTK_IS_CONTAINER(AWidget)) return nullptr;
  GList* children = gtk_container_get_children(GTK_CONTAINER(AWidget));
  GtkGrid* grid = nullptr;
  for (GList* child = children; child != nullptr && grid == nullptr; child = child->next)
    grid = FindGrid(GTK_WIDGET(child->data));
  g_list_free(children);
  return grid;
}

}  // namespace

std::string PrepareGtk() {
  static const std::string why = [] {
    g_setenv("GDK_BACKEND", "x11", TRUE);
    g_setenv("NO_AT_BRIDGE", "1", TRUE);
    if (g_getenv("DISPLAY") == nullptr) {
      char* xvfb = g_find_program_in_path("Xvfb");
      g_free(xvfb);
      if (xvfb == nullptr) return std::string("skipped: no display, and Xvfb is not installed");
      // Servers started at once may claim the same display number; the one
      // that loses it gives up, and is started again.
      bool started = false;
      for (int attempt = 0; attempt < 5 && !started; ++attempt) {
        if (attempt > 0) g_usleep(static_cast<gulong>(g_random_int_range(50'000, 300'000)));
        started = StartXvfb();
      }
      if (!started) return std::string("Xvfb did not start");
    }
    if (!gtk_init_check(nullptr, nullptr)) return std::string("GTK found no display");
    return std::string();
  }();
  return why;
}

TLines GridLines(GtkWidget* APage) {
  TLines lines;
  GtkGrid* grid = FindGrid(APage);
  EXPECT_NE(grid, nullptr);
  if (grid == nullptr) return lines;
  for (int row = 0;; ++row) {
    GtkWidget* label = gtk_grid_get_child_at(grid, 0, row);
    GtkWidget* value = gtk_grid_get_child_at(grid, 1, row);
    if (label == nullptr) break;
    if (label == value) {
      lines.emplace_back("", LabelText(label));
      continue;
    }
    EXPECT_TRUE(GTK_IS_LABEL(value) && gtk_label_get_selectable(GTK_LABEL(value)))
        << LabelText(label);
    lines.emplace_back(LabelText(label), LabelText(value));
  }
  return lines;
}

GtkWidget* DialogFor(GtkWidget* APage) {
  GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_container_add(GTK_CONTAINER(window), APage);
  return window;
}

}  // namespace page_test
