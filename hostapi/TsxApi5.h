/* The host interface: every host operation the plug-in calls, the records and callback types
 * that pass through them, and the plug-in's own exports. Written from what the plug-in needs;
 * the stage (libtsxapi) implements the operations, the plug-in implements the exports.
 *
 * Conventions:
 * - Handles (scene objects, polyhedra, screen buffers, files, windows) are opaque pointers the
 *   host owns; the plug-in never frees them. A handle the host does not know answers null, 0
 *   or an identity/zero result, never a crash.
 * - Host booleans are 32-bit integers, 1 for yes and 0 for no.
 * - Records keep the field order and offsets of the host's 32-bit layout. Where a record holds
 *   a pointer, the pointer is pointer-sized on this platform, so offsets after it move on
 *   64-bit builds; the static checks below pin the layouts down for both.
 * - Nothing here throws: every function and every callback uses the C calling convention. */
#ifndef VANTREL_HOST_TSXAPI5_H
#define VANTREL_HOST_TSXAPI5_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Vectors and transforms ---------------------------------------------------------------- */

typedef struct CtsxVector3f {
  float x, y, z;
} CtsxVector3f;

/* Three rows of four: the first three columns are the linear part, the fourth the translation.
 * A point p maps to M·(p, 1). */
typedef struct CtsxTxmx3f {
  float m[3][4];
} CtsxTxmx3f;

/* ---- Handles -------------------------------------------------------------------------------- */

typedef struct tsxGNODE tsxGNODE;           /* any node of the scene tree */
typedef tsxGNODE tsxSOBJ;                   /* a scene object: the same node seen as an object */
typedef tsxGNODE tsxMNODE;                  /* a node with axes (every scene object has them) */
typedef tsxGNODE tsxPOLYHEDRON;             /* a scene object of type tsxTYPE_POLYHEDRON */
typedef struct tssSCREENBUFFER tssSCREENBUFFER;
typedef struct tsxFILE tsxFILE;
typedef void* tsxHWND;                      /* a window: the main window or a view */

/* Type codes answered by tsxSobjGetType. Custom types are numbered below 100 by
 * tsxObjectDefine, in definition order; 0 is no type (an unknown handle). */
enum {
  tsxTYPE_NONE = 0,
  tsxTYPE_FIRST_CUSTOM = 40,
  tsxTYPE_LAST_CUSTOM = 99,
  tsxTYPE_GROUP = 100,
  tsxTYPE_POLYHEDRON = 201
};

/* ---- Polyhedra ------------------------------------------------------------------------------ */

/* One corner of a face, 20 bytes: its vertex, its texture coordinate (−1: none) and the
 * corner's normal in vertex space. */
typedef struct tsxCORNER {
  int32_t vxIndex;
  int32_t uvIndex;
  CtsxVector3f normal;
} tsxCORNER;

/* A face: its corner count at offset 0, the pointer to its corners at offset 4 (32-bit) or 8
 * (64-bit). */
typedef struct tsxFACE {
  int16_t nbrCorners;
  int16_t reserved;
  tsxCORNER* corners;
} tsxFACE;

typedef struct tsxUV {
  float u, v;
} tsxUV;

/* ---- Pens, change kinds, shader actions ----------------------------------------------------- */

typedef enum tsxPEN {
  e_tsxPEN_BACKGROUND = 0,
  e_tsxPEN_GRID,
  e_tsxPEN_ACTIVE,
  e_tsxPEN_SCENE,
  e_tsxPEN_ACTIVESUB,
  e_tsxPEN_INACTIVESUB,
  e_tsxPEN_CONTROL,
  e_tsxPEN_ACTIVECONTROL,
  e_tsxPEN_RED,
  e_tsxPEN_GREEN,
  e_tsxPEN_BLUE
} tsxPEN;

typedef enum tsxOBJECT_CHANGE {
  e_tsxCHANGE_GEOMETRY = 0,
  e_tsxCHANGE_MATERIAL = 1,
  e_tsxCHANGE_NAME = 2
} tsxOBJECT_CHANGE;

/* What a foreground or background shader is asked to do. */
typedef enum tssACTION {
  e_tssACTION_LOAD = 0,      /* the shader was registered */
  e_tssACTION_UNLOAD = 1,    /* the shader was unregistered */
  e_tssACTION_INIT = 2,      /* a frame is about to be rendered */
  e_tssACTION_SHADE = 3,     /* shade the frame in the buffer of the record */
  e_tssACTION_PREVIEW = 4    /* shade a preview frame in the buffer of the record */
} tssACTION;

/* ---- Custom object types -------------------------------------------------------------------- */

typedef int (*tsxSOBJ_DELETE)(tsxSOBJ* obj);
typedef int (*tsxSOBJ_CLONE)(tsxSOBJ* obj, tsxSOBJ* clone);
/* direction 0 read, 1 write; format 0 binary, 1 text. */
typedef int (*tsxSOBJ_FILE)(tsxSOBJ* obj, tsxFILE* file, int direction, int format);
/* state 1 normal, 2 selected, 3 scene, 4 inactive; answers 1 when it drew. */
typedef int (*tsxSOBJ_DRAW)(tsxSOBJ* obj, int state, void* passOn);
typedef int (*tsxSOBJ_TRANSFORM)(tsxSOBJ* obj, CtsxTxmx3f* transform, uint32_t flags);
/* box: minimum x, y, z then maximum x, y, z in the space transform maps into (the object's
 * world transform when transform is null). */
typedef int (*tsxSOBJ_BBOX)(tsxSOBJ* obj, float box[6], const CtsxTxmx3f* transform);
typedef int (*tsxSOBJ_NOTHING)(void);
typedef int (*tsxSOBJ_CHANGE)(tsxSOBJ* obj, int changeKind);

/* The callback table handed to tsxObjectDefine: eleven slots, each pointer-sized (44 bytes on
 * the host's 32-bit platform). The first slot holds the integer 3. */
typedef struct tsxSOBJCALLBACKS {
  intptr_t version;            /* 3 */
  tsxSOBJ_DELETE onDelete;
  tsxSOBJ_CLONE onClone;
  tsxSOBJ_FILE onFile;
  tsxSOBJ_DRAW onDraw;
  tsxSOBJ_TRANSFORM onTransform;
  tsxSOBJ_BBOX onBoundingBox;
  void* reserved7;             /* null */
  tsxSOBJ_NOTHING onReserved8;
  tsxSOBJ_CHANGE onChange;
  tsxSOBJ_NOTHING onReserved10;
} tsxSOBJCALLBACKS;

/* ---- Rendering ------------------------------------------------------------------------------ */

/* Handed to the post-process shader once per rendered frame. */
typedef struct tssPostProcessData {
  int32_t width;               /* image width in pixels */
  int32_t height;              /* image height in pixels */
  tssSCREENBUFFER* buffer;     /* the finished image */
} tssPostProcessData;

/* Handed to foreground and background shaders. */
typedef struct tssShaderFrameData {
  int32_t width;
  int32_t height;
  tssSCREENBUFFER* buffer;
  float frame;
} tssShaderFrameData;
typedef tssShaderFrameData tssForegroundData;
typedef tssShaderFrameData tssBackgroundData;

/* The render data record, 84 bytes. Region bounds are inclusive image pixels. */
typedef struct tsxRENDERDATA {
  float frame;                 /*  0: frame being rendered */
  int32_t reserved4;           /*  4 */
  int32_t width;               /*  8: image width */
  int32_t height;              /* 12: image height */
  int32_t reserved16;          /* 16 */
  int32_t regionFlag;          /* 20: nonzero when only the region is rendered */
  int16_t regionLeft;          /* 24 */
  int16_t regionTop;           /* 26 */
  int16_t regionRight;         /* 28 */
  int16_t regionBottom;        /* 30 */
  uint8_t reserved32[32];      /* 32 */
  float pixelAspect;           /* 64: width / height of one pixel; the stage renders square ones */
  uint8_t reserved68[16];      /* 68 */
} tsxRENDERDATA;

/* Scanline formats of tssScreenBufferGetScanLine / SetScanLine, floats per pixel in brackets. */
enum {
  tssLINE_RGBA = 4,            /* [4] red, green, blue, alpha */
  tssLINE_RGBZ = 5,            /* [4] red, green, blue, depth */
  tssLINE_RGBAZ = 6            /* [5] red, green, blue, alpha, depth */
};

/* Shader kinds of tsxRegisterExternalShader. */
enum { tssSHADER_FOREGROUND = 5, tssSHADER_BACKGROUND = 6, tssSHADER_POSTPROCESS = 7 };

typedef void (*tssPOSTPROCESSFUNC)(const tssPostProcessData* data);
typedef void (*tssFOREGROUNDFUNC)(tssForegroundData* data, int action);
typedef void (*tssBACKGROUNDFUNC)(tssBackgroundData* data, int action);

/* ---- Events --------------------------------------------------------------------------------- */

enum { tsxEVENTS_RENDER = 0, tsxEVENTS_MOUSE = 1, tsxEVENTS_VIEWMSG = 2, tsxEVENTS_GENERAL = 3 };

/* Render codes 0 init, 1 begin, 2 end, 3 frame start, 4 frame end, 5 abort, 6 error. */
typedef struct tsxEventRenderData {
  int32_t code;
  float frame;
  int32_t width;
  int32_t height;
} tsxEventRenderData;

/* Mouse codes 1 message, 2 event, 3 drag. */
typedef struct tsxEventMouseData {
  int32_t code;
  int32_t x, y;                /* drawport pixels */
  int32_t buttons;             /* bit 0 left, bit 1 right, bit 2 middle */
} tsxEventMouseData;

/* View message codes. tsxVIEWMSG_DRAWN: the view was drawn again at the host's current time (the
 * drawings plug-ins made in it are erased, every object has drawn itself anew); raised after each
 * view refresh, so that a plug-in can draw what belongs to the frame on top. The studio draws its
 * view again whenever its timeline moves to another frame, so this is also the notice of a new
 * current time. */
enum { tsxVIEWMSG_DRAWN = 1 };
typedef struct tsxEventViewMsgData {
  int32_t code;
  tsxHWND view;
} tsxEventViewMsgData;

/* General codes 0 application start, 1 application close, 2 scene close, 3 scene new,
 * 4 scene load, 5 selection changed: the host's selected object is another one now, or none (the
 * selected object was deleted, say), whoever changed it: the user in the host, or a plug-in
 * through tsxSelectSobj or tsxSelectUp. Raised after the change, once per change, not when the
 * same object is selected again. The record holds only the code: tsxHostGetSelectedSobj answers
 * what is selected. */
enum {
  tsxGENERAL_APPSTART = 0,
  tsxGENERAL_APPCLOSE = 1,
  tsxGENERAL_SCENECLOSE = 2,
  tsxGENERAL_SCENENEW = 3,
  tsxGENERAL_SCENELOAD = 4,
  tsxGENERAL_SELECTION = 5
};
typedef struct tsxEventGeneralData {
  int32_t code;
} tsxEventGeneralData;

/* record points at one of the records above, according to group. */
typedef void (*tsxEVENTCALLBACK)(int group, const void* record);

/* ---- Host operations ------------------------------------------------------------------------ */

/* Scene graph. GetRoot answers the top-most ancestor (the node itself at the top level);
 * GetParent answers null at the top level. */
tsxGNODE* tsxGNodeGetRoot(tsxGNODE* node);
tsxGNODE* tsxGNodeGetParent(tsxGNODE* node);
tsxGNODE* tsxGNodeGetFirstChild(tsxGNODE* node);
tsxGNODE* tsxGNodeGetNext(tsxGNODE* node);
void tsxGNodeGetTransform(tsxGNODE* node, CtsxTxmx3f* objectToWorld);
/* Extents of the node's bounding box along its own axes, in world units. */
void tsxGNodeGetSize(tsxGNODE* node, CtsxVector3f* size);
void tsxGNodeSetName(tsxGNODE* node, const char* name);
/* Copies the node's name into buffer, cut to size - 1 characters and ended with a 0 (when size
 * is at least 1); answers the length of the whole name, 0 for no node. */
int tsxGNodeGetName(tsxGNODE* node, char* buffer, int size);

int tsxSobjGetType(tsxSOBJ* obj);
/* Frame range of the object's keys; 0 and 0 without keys. Answers 1 when it has keys. */
int tsxSobjGetMinMaxTime(tsxSOBJ* obj, float* first, float* last);
void tsxSobjDelete(tsxSOBJ* obj);
void tsxSelectSobj(tsxSOBJ* obj, int mode, int flags);
void tsxSelectUp(void);

/* Answers the new type number, or 0 when the host refuses. */
int tsxObjectDefine(int pluginId, const char* typeName, const tsxSOBJCALLBACKS* callbacks,
                    int flags);
/* A new object of a custom type, not yet in the scene; null for an unknown type. */
tsxSOBJ* tsxObjectCreate(int type);
int tsxSceneAddObject(tsxSOBJ* obj, int flags);
void tsxMNodeSetAxesPosition(tsxMNODE* node, const CtsxVector3f* position);

/* Polyhedra. Arrays belong to the host and stay valid while the mesh is unchanged. */
int tsxPolyhGetNbrVxs(tsxPOLYHEDRON* polyh);
CtsxVector3f* tsxPolyhGetVxArray(tsxPOLYHEDRON* polyh);
int tsxPolyhGetNbrUV(tsxPOLYHEDRON* polyh);
tsxUV* tsxPolyhGetUVArray(tsxPOLYHEDRON* polyh);
int tsxPolyhGetNbrFaces(tsxPOLYHEDRON* polyh);
tsxFACE** tsxPolyhGetFaceptrArray(tsxPOLYHEDRON* polyh);
/* Vertex space to world. */
void tsxPolyhGetVxTxmx(tsxPOLYHEDRON* polyh, CtsxTxmx3f* transform);
/* The unit normal of one of the polyhedron's faces, in vertex space; answers 0 (and the zero
 * vector) for a face that is not the polyhedron's. */
int tsxPolyhGetFaceNormal(tsxPOLYHEDRON* polyh, const tsxFACE* face, CtsxVector3f* normal);

/* The active view. View mode 0 perspective, 1 orthographic. */
tsxHWND tsxAViewGetHwnd(void);
void tsxAViewGetDrawportSize(int32_t* width, int32_t* height);
void tsxAViewGetWorld2VportTxmx(CtsxTxmx3f* worldToViewport);
void tsxAViewGetEye2WorldTxmx(CtsxTxmx3f* eyeToWorld);
/* m: two rows (m0 m1 m2) (m3 m4 m5) mapping drawport pixels to render-image pixels. */
void tsxAviewGetEyeToRenderTxmx(int32_t viewWidth, int32_t viewHeight, int32_t renderWidth,
                                int32_t renderHeight, float pixelAspect, float m[6]);
int tsxAViewGetViewMode(void);
void tsxAViewRefresh(void);
void tsxAllViewsRefresh(void);
void tsxAViewSetPen(tsxPEN pen);
/* Draws the polylines of lineList (−2 ends a polyline, −1 ends the list) through points
 * transformed by transform; passOn is the value the draw callback received. Answers 1 when it
 * drew. */
int tsxAViewDrawLinelist(const CtsxTxmx3f* transform, const CtsxVector3f* points,
                         int32_t nbrPoints, const int32_t* lineList, void* passOn);

/* Animation time, in frames. Setting it re-poses the scene, or one object with its parents. */
float tsxAnimGetActiveTime(void);
void tsxAnimSetActiveTime(float frame);
void tsxAnimSetActiveTimeScene(float frame);
void tsxAnimSetActiveTimeObject(tsxSOBJ* obj, float frame);

/* Rendering. */
void tsxRenderGetData(tsxRENDERDATA* data);
/* Copy line `line` (0 = first row of the buffer) out of / into the buffer in the given format;
 * the line holds the buffer's width in pixels. Answers 0 for a bad line or format. */
int tssScreenBufferGetScanLine(tssSCREENBUFFER* buffer, int32_t line, int32_t format,
                               float* pixels);
int tssScreenBufferSetScanLine(tssSCREENBUFFER* buffer, int32_t line, int32_t format,
                               const float* pixels);
/* Shows image columns x0..x1 of image row y from a line of four floats per pixel (red, green,
 * blue and a fourth value not shown); pixel 0 of the line is column x0. lastRow is the last
 * row of the image being shown. */
void tsxRenderDisplayScanline(const float* pixels, int32_t x0, int32_t x1, int32_t y,
                              int32_t lastRow);
int tsxRenderCheckInterrupt(void);
int tsxCheckAbort(void);

/* Payload files of the object callbacks; like fread / fwrite, answer whole items moved. */
size_t tsxFILEread(void* buffer, size_t size, size_t count, tsxFILE* file);
size_t tsxFILEwrite(const void* buffer, size_t size, size_t count, tsxFILE* file);

/* subscribe 1 adds, 0 removes the callback for the group. Answers 1 on success. */
int tsxRegisterEventCallback(int group, tsxEVENTCALLBACK callback, int subscribe);

/* Also looked up by name. The main window, null while there is none. */
tsxHWND tsxGetMainViewHwnd(void);
/* kind: tssSHADER_*; callback: a tssPOSTPROCESSFUNC, tssFOREGROUNDFUNC or tssBACKGROUNDFUNC
 * cast to void(*)(void). Answers 1 when the host accepted the change. */
int tsxRegisterExternalShader(int kind, void (*callback)(void), int registerIt);

/* Services of a host that shows no plug-in panels (the stage's command line): it takes a
 * plug-in's status line and its messages and shows them its own way. A plug-in looks both up
 * by name at run time; where the host has neither, the plug-in shows them itself. */
void tsxHostShowStatus(const char* text);
void tsxHostShowMessage(const char* text);
/* The windowing system whose windows the host's window handles are: "qt" in a host built on
 * Qt Widgets (tsxGetMainViewHwnd and tsxAViewGetHwnd then answer QWidget pointers), "" in a
 * host without windows. Looked up by name; a host without it has no windows a plug-in may use. */
const char* tsxHostWindowSystem(void);

/* Optional extensions a host offers or not; a plug-in looks each up by name at run time and
 * works as before where the host lacks it.
 *
 * Coverage: answers 1 when the buffer keeps a coverage channel the post-process shader is to
 * update. Its lines are then read and written in tssLINE_RGBAZ, and its colours are
 * premultiplied by that alpha (a pixel the background leaves transparent holds alpha 0 and
 * black). Answers 0 for a buffer without one (lines in tssLINE_RGBZ leave the alpha as the host
 * made it). */
int tsxHostScreenBufferCoverage(tssSCREENBUFFER* buffer);
/* Settings a host keeps with the scene for a plug-in, under a key the plug-in chooses (its
 * name): a text the host stores and hands back unread. Get copies the text, NUL-terminated, into
 * text when it fits in size bytes, and answers its length without the NUL, or -1 when the scene
 * holds none for that key. Set replaces it (null removes it) and answers 1 when stored. */
int tsxHostGetPluginSettings(const char* key, char* text, int32_t size);
int tsxHostSetPluginSettings(const char* key, const char* text);
/* The plug-in changed the scene by its own action (objects added or removed, settings of its
 * objects edited, an edit undone): a host that tracks unsaved changes marks the scene modified
 * and refreshes what it shows of the scene's objects. Looked up by name; a host without it (the
 * command line) is not told. */
void tsxHostSceneChanged(void);
/* The scene object the host has selected, or null when none is. A host that raises the general
 * event "selection changed" (code 5) offers it; a plug-in looks it up by name. */
tsxSOBJ* tsxHostGetSelectedSobj(void);
/* Readable settings of custom objects. A plug-in that can show an object type's payload as
 * text (and take it back) hands the host two converters for the type; a host that stores scene
 * files people read looks them up by the type's name, and a host without the function simply
 * keeps payloads as bytes. Both converters hand their result to sink (called once or more, the
 * pieces to be joined) and answer 1; on failure they answer 0 and hand sink a message: for text
 * that cannot be taken, the JSON pointer of the offending value inside the text, a newline, and
 * what is wrong. The payload is what the type's file callback writes; the text is JSON. The
 * plug-in looks the registering function up by name at run time. */
typedef void (*tsxTEXTSINK)(void* context, const char* data, size_t size);
typedef int (*tsxPAYLOADCONVERTFUNC)(const char* typeName, const void* data, size_t size, tsxTEXTSINK sink,
                                     void* context);
void tsxHostSetPayloadText(const char* typeName, tsxPAYLOADCONVERTFUNC payloadToText,
                           tsxPAYLOADCONVERTFUNC textToPayload);

/* Pure vector math, with the engine's semantics. Results may alias inputs. */
void tsxAddVec3f(CtsxVector3f* a, const CtsxVector3f* b);                     /* a := a + b */
void tsxAddToVec3f(const CtsxVector3f* a, const CtsxVector3f* b, CtsxVector3f* r); /* a + b */
void tsxSubVec3f(CtsxVector3f* a, const CtsxVector3f* b);                     /* a := a − b */
void tsxSubToVec3f(const CtsxVector3f* a, const CtsxVector3f* b, CtsxVector3f* r); /* b − a */
void tsxMulScalar3f(CtsxVector3f* v, float s);
float tsxMagnitude3f(const CtsxVector3f* v);
float tsxDProdVec3f(const CtsxVector3f* a, const CtsxVector3f* b);
void tsxRotateVect3f(const CtsxVector3f* src, CtsxVector3f* dst, const CtsxTxmx3f* m);
void tsxTransformVect3f(const CtsxVector3f* src, CtsxVector3f* dst, const CtsxTxmx3f* m);
void tsxMakeRotMx3f(const CtsxVector3f* point, const CtsxVector3f* axis, float angle,
                    CtsxTxmx3f* out, int flags);
void tsxXProdMx3f(CtsxTxmx3f* dst, const CtsxTxmx3f* a, const CtsxTxmx3f* b); /* a∘b */
void tsxInvertMx3f(CtsxTxmx3f* dst, const CtsxTxmx3f* src);
void tsxUnMatrix3f(const CtsxTxmx3f* m, CtsxTxmx3f* rotation, CtsxVector3f* scale);
void tsxGetMxTranslation3f(CtsxVector3f* translation, const CtsxTxmx3f* m);
void tssReflect(CtsxVector3f* out, const CtsxVector3f* v, const CtsxVector3f* n);

/* ---- The plug-in's exports ------------------------------------------------------------------ */

/* Filled by tsxGetData: title and author NUL-terminated, resource ids in their low 16 bits. */
typedef struct tsxPLUGINDATA {
  char title[32];
  char author[64];
  uint16_t bitmapId;
  uint16_t stringId;
} tsxPLUGINDATA;

typedef int (*tsxGETVERSIONFUNC)(void);
typedef void (*tsxGETDATAFUNC)(tsxPLUGINDATA* data, int pluginId);
typedef int (*tsxONLEFTCLICKFUNC)(void);
typedef void (*tsxONRIGHTCLICKFUNC)(void);
typedef void (*tsxDEACTIVATEFUNC)(void);

#ifdef __cplusplus
}  /* extern "C" */

static_assert(sizeof(CtsxVector3f) == 12);
static_assert(sizeof(CtsxTxmx3f) == 48);
static_assert(sizeof(tsxCORNER) == 20);
static_assert(offsetof(tsxFACE, corners) == (sizeof(void*) == 4 ? 4 : 8));
static_assert(sizeof(tsxSOBJCALLBACKS) == 11 * sizeof(void*));
static_assert(offsetof(tssPostProcessData, buffer) == 8);
static_assert(sizeof(tsxRENDERDATA) == 84);
static_assert(offsetof(tsxRENDERDATA, regionFlag) == 20);
static_assert(offsetof(tsxRENDERDATA, regionLeft) == 24);
static_assert(offsetof(tsxRENDERDATA, regionBottom) == 30);
static_assert(offsetof(tsxRENDERDATA, pixelAspect) == 64);
static_assert(sizeof(tsxPLUGINDATA) == 100);
#endif

#endif /* VANTREL_HOST_TSXAPI5_H */
