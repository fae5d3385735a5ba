#include "dialogs/view_module.h"

#include <dlfcn.h>

#include <cstdlib>
#include <cstring>

#include "base/trace.h"

namespace t3d::dialogs {
namespace {

const T3dDialogView* g_installed = nullptr;  // shown by the dialogs
const T3dDialogView* g_loaded = nullptr;     // the module's view once it opened
T3dDialogView g_moduleView{};
bool g_loadTried = false;
bool g_environmentRead = false;

const char kModuleFile[] = "libterrain3d-gtk.so";

// Another major version of GTK already in the process: loading ours would abort it.
bool ForeignToolkitLoaded() {
  for (const char* name : {"libgtk-4.so.1", "libgtk-x11-2.0.so.0"}) {
    if (void* handle = dlopen(name, RTLD_LAZY | RTLD_NOLOAD)) {
      dlclose(handle);
      return true;
    }
  }
  return false;
}

const T3dDialogView* LoadModule() {
  if (g_loadTried) return g_loaded;
  g_loadTried = true;
  if (ForeignToolkitLoaded()) {
    Trace("desktop dialogs: another GTK version is loaded; dialogs keep their defaults");
    return nullptr;
  }
  // The module stays loaded for the life of the process: a toolkit cannot be unloaded.
  void* module = nullptr;
  const std::string beside = DesktopModuleName();
  if (!beside.empty()) module = dlopen(beside.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (module == nullptr) module = dlopen(kModuleFile, RTLD_NOW | RTLD_LOCAL);
  if (module == nullptr) {
    Trace((std::string("desktop dialogs: ") + dlerror()).c_str());
    return nullptr;
  }
  auto entry = reinterpret_cast<T3dDialogViewEntry>(dlsym(module, T3D_DIALOG_VIEW_ENTRY));
  T3dDialogView view{};
  if (entry == nullptr || entry(&view) != 1 || view.version != T3D_DIALOG_VIEW_VERSION ||
      view.run == nullptr || view.playVideo == nullptr || view.message == nullptr ||
      view.chooseFile == nullptr) {
    Trace("desktop dialogs: the module cannot show windows here (no display?)");
    return nullptr;
  }
  g_moduleView = view;
  g_loaded = &g_moduleView;
  return g_loaded;
}

}  // namespace

std::string DesktopModuleName() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&DesktopModuleName), &info) == 0 || info.dli_fname == nullptr)
    return std::string();
  std::string path = info.dli_fname;
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return std::string();
  return path.substr(0, slash + 1) + kModuleFile;
}

const T3dDialogView* DesktopView() {
  if (!g_environmentRead) {
    g_environmentRead = true;
    const char* wanted = std::getenv("TERRAIN3D_DIALOGS");
    if (wanted != nullptr && std::strcmp(wanted, "gtk") == 0) UseDesktopView(true);
  }
  return g_installed;
}

bool UseDesktopView(bool on) {
  g_environmentRead = true;  // the host's choice wins over the environment
  if (!on) {
    g_installed = nullptr;
    return true;
  }
  g_installed = LoadModule();
  return g_installed != nullptr;
}

const T3dDialogView* WindowView() {
  if (const T3dDialogView* view = DesktopView()) return view;
  return LoadModule();
}

void SetDialogView(const T3dDialogView* view) {
  g_environmentRead = true;
  g_installed = view;
  g_loaded = view;
  g_loadTried = view != nullptr;
  if (view == nullptr) g_loadTried = false;
}

}  // namespace t3d::dialogs
