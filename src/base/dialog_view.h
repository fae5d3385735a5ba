/* The C interface between the library's dialog models and a view module that shows them with a
 * desktop toolkit (libterrain3d-gtk.so). The module is loaded at run time, so that the library
 * itself never links a toolkit; the module is a plain view: every rule (starting values, what is
 * enabled, what a value may be, whether OK may close) stays with the model behind the callbacks.
 *
 * A module exports one function, T3D_DIALOG_VIEW_ENTRY, that fills a T3dDialogView; it returns 1
 * when it can show windows (a display was found) and 0 otherwise. Every call comes on the
 * host's thread and runs modally to its end. */
#ifndef TERRAIN3D_BASE_DIALOG_VIEW_H
#define TERRAIN3D_BASE_DIALOG_VIEW_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define T3D_DIALOG_VIEW_VERSION 1
#define T3D_DIALOG_VIEW_ENTRY "t3d_dialog_view_open"

/* Control kinds. Labels, groups and buttons have fixed texts; the others ask the model. */
enum {
  T3D_CONTROL_LABEL = 1, /* fixed text */
  T3D_CONTROL_VALUE,     /* text the model gives (text callback) */
  T3D_CONTROL_GROUP,     /* a framed group title; the controls up to the next group sit in it */
  T3D_CONTROL_CHECK,     /* value 0 or 1 */
  T3D_CONTROL_RADIO,     /* value 1 while chosen; setting 1 chooses it */
  T3D_CONTROL_SPIN,      /* an integer in the model's range */
  T3D_CONTROL_COMBO,     /* value: the chosen entry */
  T3D_CONTROL_LIST,      /* rows of text cells; cells may open an editor (cellEdit) */
  T3D_CONTROL_OK,        /* accept: closes with T3D_DIALOG_OK when the model agrees */
  T3D_CONTROL_CANCEL     /* closes with T3D_DIALOG_CANCEL */
};

/* Results of run. */
#define T3D_DIALOG_OK 1
#define T3D_DIALOG_CANCEL 2
#define T3D_DIALOG_UNAVAILABLE (-1)

/* Cell editors of a list. */
#define T3D_CELL_NONE 0
#define T3D_CELL_NUMBER 1 /* a number typed into the prompt dialog */
#define T3D_CELL_COLOUR 2 /* a colour from the colour chooser; 0x00BBGGRR */

typedef struct T3dControl {
  int id;           /* the control's number; unique within a dialog (0 for fixed labels) */
  int kind;         /* T3D_CONTROL_... */
  const char* text; /* UTF-8 */
  int row;          /* controls of one row sit side by side, rows top to bottom */
} T3dControl;

typedef struct T3dDialogModel {
  void* self;
  const char* caption;
  const T3dControl* controls;
  int controlCount;
  /* The number prompt a T3D_CELL_NUMBER cell opens: caption, label, OK text, Cancel text. */
  const char* promptTexts[4];
  int (*enabled)(void* self, int id);
  int (*value)(void* self, int id);
  /* Returns 1 when the model took the value; the view then shows every control afresh. */
  int (*setValue)(void* self, int id, int value);
  void (*range)(void* self, int id, int* low, int* high);
  /* Combo entries and list rows. */
  int (*itemCount)(void* self, int id);
  /* Writes the zero-terminated text of an entry (column 0) or cell into out (size bytes). */
  void (*itemText)(void* self, int id, int item, int column, char* out, size_t size);
  int (*columnCount)(void* self, int id);
  const char* (*columnTitle)(void* self, int id, int column);
  const char* (*text)(void* self, int id);
  /* 1 for a column whose cells show a colour swatch (cellColour) beside their text. */
  int (*columnIsColour)(void* self, int id, int column);
  int (*cellEdit)(void* self, int id, int row, int column);
  double (*cellNumber)(void* self, int id, int row, int column);
  int (*setCellNumber)(void* self, int id, int row, int column, double value);
  uint32_t (*cellColour)(void* self, int id, int row, int column);
  int (*setCellColour)(void* self, int id, int row, int column, uint32_t colour);
  /* OK was pressed: 1 when the dialog may close with OK. */
  int (*accept)(void* self);
} T3dDialogModel;

/* A decoded video, frame by frame, as rows of red, green, blue bytes (width x 3 per row). */
typedef struct T3dVideoSource {
  void* self;
  int width;
  int height;
  double framesPerSecond;
  int64_t frameCount; /* 0 when the file does not say */
  /* Decodes frame index into rgb (width x height x 3 bytes); 1 when done, 0 past the end. */
  int (*frame)(void* self, int64_t index, uint8_t* rgb);
} T3dVideoSource;

/* A picture for the preview panel: rows of red, green, blue bytes. */
typedef struct T3dPreview {
  const uint8_t* rgb; /* valid until the next preview call */
  int width;
  int height;
} T3dPreview;

#define T3D_PREVIEW_PICTURE 1 /* stretch picture over the panel */
#define T3D_PREVIEW_TEXT 0    /* show the panel text */
#define T3D_PREVIEW_EMPTY (-1) /* leave the panel empty */

typedef struct T3dFileChooser {
  void* self;
  const char* caption;
  const char* filterName; /* the text of the one filter */
  const char* pattern;    /* its pattern, such as "*.bmp" */
  const char* panelText;  /* the preview panel's text */
  int save;               /* 1: a save dialog (a new name, overwriting asked); no preview */
  /* What the panel shows for a path (null for none). */
  int (*preview)(void* self, const char* path, T3dPreview* picture);
} T3dFileChooser;

typedef struct T3dDialogView {
  int version; /* T3D_DIALOG_VIEW_VERSION */
  int (*run)(const T3dDialogModel* model);
  /* The modal player; returns when its window is closed, 0 when it could not be shown. */
  int (*playVideo)(const T3dVideoSource* video, const char* caption);
  void (*message)(const char* caption, const char* text);
  /* The open-file dialog; on OK writes the chosen path (zero-terminated) into out when it fits
   * in size bytes and returns 1; 0 on cancel or when the path does not fit. */
  int (*chooseFile)(const T3dFileChooser* chooser, char* out, size_t size);
} T3dDialogView;

typedef int (*T3dDialogViewEntry)(T3dDialogView* view);

#ifdef __cplusplus
} /* extern "C" */
#endif

#endif
