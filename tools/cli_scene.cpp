#include "cli_scene.h"

#include <cstdint>
#include <cstdio>

namespace t3dhost {
namespace {

// The answers installed by the living ScopedDialogAnswers, or none.
const DialogAnswers* g_answers = nullptr;

int TN_CALL AnswerDialog(void* user, int dialogId, void* record) {
  const auto& answers = *static_cast<const DialogAnswers*>(user);
  if (dialogId == TN_DIALOG_VERTICAL_SCALE && answers.keepHeights) {
    static_cast<TnVerticalScaleDialog*>(record)->rescale = 0;
    return 1;
  }
  if (dialogId == TN_DIALOG_BANDS && answers.bands[0] >= 0) {
    auto* dialog = static_cast<TnBandsDialog*>(record);
    dialog->red = answers.bands[0];
    dialog->green = answers.bands[1];
    dialog->blue = answers.bands[2];
    return 1;
  }
  if (dialogId == TN_DIALOG_TEXTURE_FORMAT && answers.textureForOutput) {
    static_cast<TnTextureFormatDialog*>(record)->choice = 1;
    return 1;
  }
  if (dialogId == TN_DIALOG_SAVE_TEXTURE && !answers.saveLibrary.empty()) {
    auto* dialog = static_cast<TnSaveTextureDialog*>(record);
    std::snprintf(dialog->path, sizeof dialog->path, "%s", answers.saveLibrary.c_str());
    return 1;
  }
  if (dialogId == TN_DIALOG_HEIGHT_COLOUR && answers.tableNumber >= 0) {
    auto* dialog = static_cast<TnHeightColourDialog*>(record);
    dialog->customLayers = 0;
    dialog->tableNumber = int16_t(answers.tableNumber);
    return 1;
  }
  return TN_DIALOG_DEFAULT;
}

}  // namespace

int TN_CALL PrintMessage(void*, int id, unsigned style, const char* caption, const char* text) {
  std::fprintf(stderr, "message %d [%s]: %s\n", id, caption, text);
  return style == TN_MB_QUESTION_YESNO ? TN_IDNO : 1;
}

ScopedDialogAnswers::ScopedDialogAnswers(const DialogAnswers& answers) {
  tnSetDialogHandler(&AnswerDialog, const_cast<DialogAnswers*>(&answers));
  g_answers = &answers;
}

ScopedDialogAnswers::~ScopedDialogAnswers() {
  tnSetDialogHandler(nullptr, nullptr);
  g_answers = nullptr;
}

bool SceneSession::PrepareTexture(const char* path) {
  std::string error;
  if (!texture_.OpenImageFor(path, grid_.path(), error)) {
    std::fprintf(stderr, "terrain3d: %s\n", error.c_str());
    return false;
  }
  if (tnPrepareTexture(scene_, state_, texture_.path().c_str()) != TN_OK) {
    std::fprintf(stderr, "terrain3d: the texture '%s' could not be prepared\n", path);
    return false;
  }
  return true;
}

SceneSession::~SceneSession() {
  if (scene_ != nullptr) {
    tnRelease3DScene(scene_, state_);
    tnDeleteTin3DDraw(scene_, state_);
  }
  if (dem_ > 0) tnDemClose(dem_);
}

bool SceneSession::Create() {
  if (scene_ != nullptr) return true;
  if (tnCreateTin3DDraw(&scene_, &state_) == TN_OK) return true;
  scene_ = state_ = nullptr;
  return false;
}

bool SceneSession::Initialise(TnNativeWindow* window) {
  return scene_ != nullptr && tnInitial3DScene(scene_, state_, window) == TN_OK;
}

void SceneSession::Reshape(int width, int height) { tnReshape(scene_, state_, width, height); }

bool SceneSession::Prepare(const char* path, DemFailure report) {
  if (dem_ > 0) tnDemClose(dem_);
  dem_ = 0;
  std::string error;
  if (!grid_.OpenGrid(path, g_answers != nullptr && g_answers->keepCrs, error)) {
    std::fprintf(stderr, "terrain3d: %s\n", error.c_str());
    return false;
  }
  dem_ = tnDemOpen(grid_.path().c_str());
  if (dem_ <= 0) {
    if (report == DemFailure::kCannotPrepare)
      std::fprintf(stderr, "terrain3d: cannot prepare '%s': %s\n", path, tnDemLastError());
    else
      std::fprintf(stderr, "terrain3d: %s\n", tnDemLastError());
    return false;
  }
  if (tnPrepare3DScene(scene_, state_, dem_) != TN_OK) {
    const char* reason = tnDemLastError();
    const bool bare = report == DemFailure::kStoreReason && *reason == '\0';
    std::fprintf(stderr, "terrain3d: cannot prepare '%s'%s%s\n", path, bare ? "" : ": ", reason);
    return false;
  }
  return true;
}

bool HeadlessScene::Initialise(int width, int height) {
  pixels_.assign(size_t(width) * size_t(height) * 4, 0);
  window_.kind = TN_WINDOW_HEADLESS;
  window_.width = width;
  window_.height = height;
  window_.pixels = pixels_.data();
  if (!session_.Initialise(&window_)) return false;
  session_.Reshape(width, height);
  return true;
}

bool HeadlessScene::Open(const char* path, int width, int height) {
  if (!Create() || !Initialise(width, height)) {
    std::fprintf(stderr, "terrain3d: cannot initialise a scene\n");
    return false;
  }
  return Prepare(path);
}

}  // namespace t3dhost
