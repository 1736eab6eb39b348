// Control Manager stand-in, the part below the toolkit: the views of a window found by their view
// identifier (signature and number), each with a 32-bit value, minimum and maximum and, for pop-up
// buttons, its menu. The user-interface layer makes a control for each widget of a window it loads
// (PL_NewControl) and shows the values; code and tests below it work on the records without a display.
// Main thread only.
#pragma once

#include "platform/core/mac_errors.h"
#include "platform/core/cf_base.h"
#include "platform/core/event_loop.h"
#include "platform/core/menus.h"
#include "platform/core/quickdraw_geometry.h"
#include "platform/core/quickdraw_ports.h"
#include "platform/core/quartz_geometry.h"
#include "platform/core/quartz_images.h"
#include "platform/core/quickdraw_pictures.h"

struct OpaqueTXNObject;
typedef OpaqueTXNObject *TXNObject;

struct HIViewID {
  OSType signature;
  SInt32 id;
};
struct OpaqueControlRef;
typedef OpaqueControlRef *ControlRef;
typedef ControlRef HIViewRef;

// The root view of a window (a handle for HIViewFindByID; null for a null window).
HIViewRef HIViewGetRoot(WindowRef inWindow);
// The view with that identifier under the root; errUnknownControl when the window has none.
OSStatus HIViewFindByID(HIViewRef inStartView, HIViewID inID, HIViewRef *outControl);
OSStatus GetControlByID(WindowRef inWindow, const HIViewID *inID, ControlRef *outControl);

SInt32 GetControl32BitValue(ControlRef theControl);
void SetControl32BitValue(ControlRef theControl, SInt32 newValue);
SInt32 GetControl32BitMaximum(ControlRef theControl);
void SetControl32BitMaximum(ControlRef theControl, SInt32 newMaximum);
SInt32 GetControl32BitMinimum(ControlRef theControl);
void SetControl32BitMinimum(ControlRef theControl, SInt32 newMinimum);
// The menu of a pop-up button (borrowed: the control owns it); null for other controls.
MenuRef GetControlPopupMenuHandle(ControlRef control);
// Gives the pop-up button a menu (the control takes it and disposes the one it had).
void SetControlPopupMenuHandle(ControlRef control, MenuRef popupMenu);

// A control's text: a button's title or a static or edit text's contents (one text per control). The copy
// is owned (CFRelease); a control without text answers an empty string. errUnknownControl for a control
// that is gone, paramErr for a NULL string.
OSStatus SetControlTitleWithCFString(ControlRef inControl, CFStringRef inString);
OSStatus CopyControlTitleAsCFString(ControlRef inControl, CFStringRef *outString);
OSStatus HIViewSetText(HIViewRef inView, CFStringRef inText);
// NULL for a view that is gone.
CFStringRef HIViewCopyText(HIViewRef inView);

// Tagged control data: only the progress indicator's indeterminate flag (a Boolean) is kept; other tags
// answer errDataNotSupported, a wrong size errDataSizeMismatch. A new control is determinate.
typedef SInt16 ControlPartCode;
enum : ResType { kControlProgressBarIndeterminateTag = 'inde' };
enum : ControlPartCode { kControlEntireControl = 0 };
enum : OSStatus { errDataNotSupported = -30583, errDataSizeMismatch = -30601 };
OSStatus SetControlData(ControlRef inControl, ControlPartCode inPart, ResType inTagName, Size inSize,
                        const void *inData);
OSStatus GetControlData(ControlRef inControl, ControlPartCode inPart, ResType inTagName, Size inBufferSize,
                        void *inBuffer, Size *outActualSize);

// The control's rectangle in the window's content coordinates; a new control has an empty one.
Rect *GetControlBounds(ControlRef control, Rect *bounds);
void SetControlBounds(ControlRef control, const Rect *bounds);

// The control's view identifier and window; errUnknownControl (NULL window) for a control that is gone.
OSStatus GetControlID(ControlRef inControl, HIViewID *outID);
WindowRef GetControlOwner(ControlRef inControl);
// Visibility; a new control is visible. HIViewSetVisible answers errUnknownControl for a control that is gone.
void HideControl(ControlRef inControl);
void ShowControl(ControlRef inControl);
Boolean IsControlVisible(ControlRef inControl);
OSStatus HIViewSetVisible(HIViewRef inView, Boolean inVisible);

// Asks the window's controls to be drawn again; the user-interface layer redraws on its own, so this only
// tells it (through the changed procedure, with a NULL control) that a batch of changes is complete.
void UpdateControls(WindowRef inWindow, RgnHandle inUpdateRegion);

// ---- Views: owner, identifier, state, drawing, geometry and content ----
typedef HIViewID ControlID;
OSStatus HIViewSetID(HIViewRef inView, HIViewID inID);

// A new control is active and visible. *outIsLatentActive (may be null) gets the same as the result.
OSStatus HIViewSetActivated(HIViewRef inView, Boolean inSetActivated);
Boolean HIViewIsActive(HIViewRef inView, Boolean *outIsLatentActive);
OSStatus ActivateControl(ControlRef inControl);
OSStatus DeactivateControl(ControlRef inControl);
Boolean IsControlActive(ControlRef inControl);
Boolean HIViewIsVisible(HIViewRef inView);
// Marks the view for drawing; the user-interface layer draws it with the window's next repaint.
OSStatus HIViewSetNeedsDisplay(HIViewRef inView, Boolean inNeedsDisplay);
Boolean HIViewGetNeedsDisplay(HIViewRef inView);
// Draws the view at once (the user-interface layer is told through the changed procedure) and clears its
// mark.
OSStatus HIViewRender(HIViewRef inView);
void Draw1Control(ControlRef theControl);

// The frame is the control's bounds (GetControlBounds) as floats; setting it rounds to whole pixels. The
// view's own bounds have the frame's size at the origin.
OSStatus HIViewGetFrame(HIViewRef inView, HIRect *outRect);
OSStatus HIViewSetFrame(HIViewRef inView, const HIRect *inRect);
OSStatus HIViewMoveBy(HIViewRef inView, CGFloat inDX, CGFloat inDY);
OSStatus HIViewGetBounds(HIViewRef inView, HIRect *outRect);

// The image an image view shows (retained by the view; null clears it).
OSStatus HIImageViewSetImage(HIViewRef inView, CGImageRef inImage);
// Retained (CGImageRelease); null when none.
CGImageRef HIImageViewCopyImage(HIViewRef inView);

// The content of image wells and bevel buttons. A picture handle stays the caller's.
typedef SInt16 ControlContentType;
enum : ControlContentType { kControlNoContent = 0, kControlContentTextOnly = 0, kControlContentPictHandle = 131,
                            kControlContentCGImageRef = 134 };
struct ControlButtonContentInfo {
  ControlContentType contentType;
  union {
    PicHandle picture;
    CGImageRef imageRef;
  } u;
};
typedef ControlButtonContentInfo *ControlButtonContentInfoPtr;
OSStatus SetImageWellContentInfo(ControlRef inButton, ControlButtonContentInfoPtr inContent);
OSStatus GetImageWellContentInfo(ControlRef inButton, ControlButtonContentInfoPtr outContent);
OSStatus SetBevelButtonContentInfo(ControlRef inButton, ControlButtonContentInfoPtr inContent);
OSStatus GetBevelButtonContentInfo(ControlRef inButton, ControlButtonContentInfoPtr outContent);

// Further tags of SetControlData / GetControlData. 'cfst' is the control's text (GetControlData gives a
// retained copy the caller releases); other tags keep their bytes as given. A tag never set answers
// errDataNotSupported, except those with a natural start: 'inde', 'anim' (false), 'sele' ({0, 0}).
enum : ResType {
  kControlEditTextCFStringTag = 'cfst',
  kControlStaticTextCFStringTag = 'cfst',
  kControlEditTextSelectionTag = 'sele',
  kControlFontStyleTag = 'font',
  kControlSizeTag = 'size',
  kControlChasingArrowsAnimatingTag = 'anim',
  kControlLittleArrowsIncrementValueTag = 'incr',
  kControlMovieViewMovieControllerTag = 'mc  ',
  kControlClockLongDateTag = 'date',
};
struct ControlEditTextSelectionRec {
  SInt16 selStart;
  SInt16 selEnd;
};

// Control events that the toolkit's handlers take.
enum : UInt32 {
  kEventClassControl = 'cntl',
  kEventClassTextField = 'txfd',
  kEventClassHIComboBox = 'hicb',
};
enum : UInt32 {
  kEventControlHit = 1,
  kEventControlDraw = 4,
  kEventControlSetFocusPart = 7,
  kEventControlTrackingAreaEntered = 23,
  kEventControlTrackingAreaExited = 24,
  kEventTextAccepted = 1,
  kEventTextShouldChangeInRange = 2,
  kEventTextDidChange = 3,
  kEventComboBoxListItemSelected = 1,
};

// A control-draw event ('cntl', 4) comes from the view's paint with the control (direct object, 'ctrl'), the
// area to draw in the view's coordinates (kEventParamShape) and a drawing context over the view
// (kEventParamCGContextRef) whose user space is the view's own: origin at the top left, y down. The view's
// own drawing is the last handler of the control's target, reached by CallNextEventHandler; a handler
// that answers noErr without calling it draws the view alone.
enum : EventParamName { kEventParamCGContextRef = 'cntx', kEventParamShape = 'shap' };
enum : EventParamType { typeControlRef = 'ctrl', typeCGContextRef = 'cntx', typeHIShapeRef = 'shap' };

// ---- Object class, kind, combo-box lists, properties, actions, focus and window buttons ----
typedef ControlRef HIObjectRef;
typedef ControlRef ControlHandle;
// The object's class identifier (owned); a control made by PL_NewControl answers "com.apple.control" until
// the layer that made it gives it its class. Null for a control that is gone.
CFStringRef HIObjectCopyClassID(HIObjectRef inObject);
OSStatus PL_SetControlClassID(ControlRef control, CFStringRef classID);

struct ControlKind {
  OSType signature;
  OSType kind;
};
enum : OSType {
  kControlKindSignatureApple = 'appl',
  kControlKindEditText = 'etxt',
  kControlKindEditUnicodeText = 'eutx',
  kControlKindHITextView = 'hitx',
  kControlKindHIComboBox = 'cbbx',
  kControlKindPopupButton = 'popb',
  kControlKindRadioGroup = 'rgrp',
  kControlKindLittleArrows = 'larr',
  kControlKindUserPane = 'upan',
};
// A new control's kind is {'appl', 'upan'}.
OSStatus GetControlKind(ControlRef inControl, ControlKind *outControlKind);
OSStatus PL_SetControlKind(ControlRef control, const ControlKind *kind);

// The list of a combo box (any control keeps one; only combo boxes show it). Indices from 0.
ItemCount HIComboBoxGetItemCount(HIViewRef inComboBox);
OSStatus HIComboBoxAppendTextItem(HIViewRef inComboBox, CFStringRef inText, CFIndex *outIndex);
// *outString: an owned copy; paramErr for an index beyond the list.
OSStatus HIComboBoxCopyTextItemAtIndex(HIViewRef inComboBox, CFIndex inIndex, CFStringRef *outString);

// Properties by (creator, tag), kept as given bytes. controlPropertyNotFoundErr for one never set.
enum : OSStatus { controlPropertyNotFoundErr = -5603 };
OSStatus SetControlProperty(ControlRef control, OSType propertyCreator, OSType propertyTag, ByteCount propertySize,
                            const void *propertyData);
OSStatus GetControlProperty(ControlRef control, OSType propertyCreator, OSType propertyTag, ByteCount bufferSize,
                            ByteCount *actualSize, void *propertyBuffer);

// The procedure called while the user holds a part of the control pressed (little arrows).
typedef void (*ControlActionProcPtr)(ControlRef theControl, ControlPartCode partCode);
typedef ControlActionProcPtr ControlActionUPP;
void SetControlAction(ControlRef theControl, ControlActionUPP actionProc);
ControlActionUPP GetControlAction(ControlRef theControl);

// Keyboard focus, one control per window: part kControlFocusNoPart takes the focus from the control (when
// it has it), any other part gives it the focus. GetKeyboardFocus gives null when no control has it.
typedef SInt16 ControlFocusPart;
enum : ControlFocusPart { kControlFocusNoPart = 0, kControlFocusNextPart = -1, kControlFocusPrevPart = -2 };
OSStatus SetKeyboardFocus(WindowRef inWindow, ControlRef inControl, ControlFocusPart inPart);
OSStatus GetKeyboardFocus(WindowRef inWindow, ControlRef *outControl);
OSStatus ClearKeyboardFocus(WindowRef inWindow);
// The window that takes the keys (null: none); the window layer sets it when a window comes to the front.
WindowRef GetUserFocusWindow();
OSStatus SetUserFocusWindow(WindowRef inWindow);

// The window's default (Return) and cancel (Escape) buttons: one of each per window; null when none.
OSStatus SetWindowDefaultButton(WindowRef inWindow, ControlRef inControl);
OSStatus SetWindowCancelButton(WindowRef inWindow, ControlRef inControl);
OSStatus GetWindowDefaultButton(WindowRef inWindow, ControlRef *outControl);
OSStatus GetWindowCancelButton(WindowRef inWindow, ControlRef *outControl);

// Removes the control from its window and frees it with its menu, text and image.
void DisposeControl(ControlRef theControl);

// An image view's opacity, 0 to 1 (a new view: 1).
OSStatus HIImageViewSetAlpha(HIViewRef inView, CGFloat inAlpha);
CGFloat HIImageViewGetAlpha(HIViewRef inView);
// Where a bevel button's text stands relative to its picture.
OSStatus SetBevelButtonTextPlacement(ControlRef inButton, SInt16 inWhere);
OSStatus GetBevelButtonTextPlacement(ControlRef inButton, SInt16 *outWhere);

// A control's font and colours (control data 'font'); flags say which fields count.
struct ControlFontStyleRec {
  SInt16 flags;
  SInt16 font;
  SInt16 size;
  SInt16 style;
  SInt16 mode;
  SInt16 just;
  RGBColor foreColor;
  RGBColor backColor;
};
typedef ControlFontStyleRec *ControlFontStylePtr;
enum : SInt16 {
  kControlUseFontMask = 0x0001,
  kControlUseFaceMask = 0x0002,
  kControlUseSizeMask = 0x0004,
  kControlUseForeColorMask = 0x0008,
  kControlUseBackColorMask = 0x0010,
  kControlUseModeMask = 0x0020,
  kControlUseJustMask = 0x0040,
  kControlUseThemeFontIDMask = 0x0080,
};
enum : SInt16 { kControlSizeNormal = 0, kControlSizeSmall = 1, kControlSizeLarge = 2 };
enum : ControlPartCode { kControlUpButtonPart = 20, kControlDownButtonPart = 21 };

// ---- View hierarchy ----
// The window's root view stands for its content view too (HIViewGetRoot): top-level controls are its
// subviews and their frames are in window content coordinates; an embedded control's frame is in its
// parent's coordinates. Subviews count in their window's order, back to front.
constexpr HIViewID kHIViewWindowContentID = {'wind', 1};
typedef UInt64 HIViewFeatures;
enum : HIViewFeatures { kHIViewFeatureAllowsSubviews = 1ull << 1, kHIViewFeatureGetsFocusOnClick = 1ull << 8 };
enum : OSStatus { errCouldntSetFocus = -30585 };
typedef UInt32 HIViewZOrderOp;
enum : HIViewZOrderOp { kHIViewZOrderAbove = 1, kHIViewZOrderBelow = 2 };
// The parent (the root for top-level controls); null for the root or a control that is gone or removed.
HIViewRef HIViewGetSuperview(HIViewRef inView);
// A control's identifier, or kHIViewWindowContentID for a root.
OSStatus HIViewGetID(HIViewRef inView, HIViewID *outID);
CFIndex HIViewCountSubviews(HIViewRef inView);
OSStatus CountSubControls(ControlRef inControl, UInt16 *outNumChildren);
// The index-th (1-based) subview; errUnknownControl beyond the count.
OSStatus GetIndexedSubControl(ControlRef inControl, UInt16 inIndex, ControlRef *outSubControl);
// Moves the child into the parent (a control or a root) as its frontmost subview, from its window into
// the parent's when they differ. paramErr when the child is the parent or one of its ancestors.
OSStatus HIViewAddSubview(HIViewRef inNewParent, HIViewRef inNewChild);
// The control leaves the hierarchy: HIViewFindByID no longer finds it; it stays until its window's
// controls are disposed.
OSStatus HIViewRemoveFromSuperview(HIViewRef inView);
OSStatus HIViewSetZOrder(HIViewRef inView, HIViewZOrderOp inOp, HIViewRef inOther);
// A new control has no features.
OSStatus HIViewChangeFeatures(HIViewRef inView, HIViewFeatures inFeaturesToSet, HIViewFeatures inFeaturesToClear);
OSStatus HIViewGetFeatures(HIViewRef inView, HIViewFeatures *outFeatures);
// Converts a rectangle from one view's coordinates to another's (null or a root: window coordinates).
OSStatus HIViewConvertRect(HIRect *ioRect, HIViewRef inSourceView, HIViewRef inDestView);

// ---- Event targets and help tags of controls ----
// The control's own event target (made at first use, freed with the control); its events go on to the
// application's target. The user-interface layer sends a text field's and a combo box's events here.
EventTargetRef GetControlEventTarget(ControlRef inControl);
// The control's target when one was made (GetControlEventTarget), else null: a view asks before sending
// events that only installed handlers take.
EventTargetRef PL_PeekControlEventTarget(ControlRef inControl);
// A control's help tag: the minimum content's text (a 'cfst' content; 'none' clears it). paramErr for a
// record of another version.
OSStatus HMSetControlHelpContent(ControlRef inControl, const HMHelpContentRec *inContent);
// *outText: the help tag's text (borrowed; null when none).
OSStatus PL_GetControlHelpText(ControlRef inControl, CFStringRef *outText);

// ---- Regions, shapes, tracking areas and made controls ----
// The part's region (any part: the whole control) in window content coordinates.
OSStatus GetControlRegion(ControlRef inControl, ControlPartCode inPart, RgnHandle outRegion);
// The part's shape in the view's own coordinates (owned: CFRelease).
typedef ControlPartCode HIViewPartCode;
OSStatus HIViewCopyShape(HIViewRef inView, HIViewPartCode inPart, HIShapeRef *outShape);
// A tracking area of the view (the user-interface layer sends the view's target ('cntl', 23) and
// ('cntl', 24) as the mouse enters and leaves the view); disposed with the view or by the call below.
typedef struct OpaqueHIViewTrackingAreaRef *HIViewTrackingAreaRef;
typedef UInt64 HIViewTrackingAreaID;
OSStatus HIViewNewTrackingArea(HIViewRef inView, HIShapeRef inShape, HIViewTrackingAreaID inID,
                               HIViewTrackingAreaRef *outRef);
OSStatus HIViewGetTrackingAreaID(HIViewTrackingAreaRef inTrackingRef, HIViewTrackingAreaID *outID);
OSStatus HIViewDisposeTrackingArea(HIViewTrackingAreaRef inTrackingRef);
// The first tracking area of the view; null when it has none.
HIViewTrackingAreaRef PL_GetViewTrackingArea(HIViewRef inView);
// A new embedder view ("com.apple.hiview", allows subviews, no identifier yet) in the window's root.
OSStatus PL_NewEmbedderView(WindowRef inWindow, HIViewRef *outView);
// A radio group (value 0, allows subviews) and a radio button (maximum 1) in the window's root at the
// bounds; the button's title and value as given. Owned by the window like every control.
OSStatus CreateRadioGroupControl(WindowRef window, const Rect *boundsRect, ControlRef *outControl);
OSStatus CreateRadioButtonControl(WindowRef window, const Rect *boundsRect, CFStringRef title, SInt32 initialValue,
                                  Boolean autoToggle, ControlRef *outControl);

// Test and layer helper: how many times the view was drawn at once (HIViewRender, Draw1Control).
UInt32 PL_GetControlRenderCount(ControlRef control);

// ---- Our own helpers ----
// A new control of the window (owned by the window's list: PL_DisposeWindowControls) with value 0,
// minimum 0, maximum 0 and no menu. paramErr for a null window or identifier, dupFNErr for an identifier
// the window has already.
OSStatus PL_NewControl(WindowRef window, const HIViewID *id, ControlRef *control);
// Makes the window's root view known before it has controls, so views can be added to it (HIViewAddSubview).
// The window layer calls it for every window it makes; PL_DisposeWindowControls forgets the root.
void PL_NewRootView(WindowRef window);
// Disposes every control of the window with their menus.
void PL_DisposeWindowControls(WindowRef window);
// Called after a value, minimum, maximum, text, indeterminate flag, visibility or bounds changed through the calls
// above, and with a NULL control from UpdateControls (the user-interface layer
// mirrors it on the widget); null removes it.
typedef void (*PL_ControlChangedProc)(WindowRef window, HIViewID id, ControlRef control);
void PL_SetControlChangedProc(PL_ControlChangedProc proc);
// Further procedures called after the one above, for layers that keep views of their own (text views).
void PL_AddControlObserver(PL_ControlChangedProc proc);
// A text view's text object: the control takes it (deleting the one it had) and deletes it when it goes;
// its 'cfst' data is then that object's text. NULL when the control has none.
OSStatus PL_SetControlTextObject(ControlRef control, TXNObject object);
TXNObject PL_GetControlTextObject(ControlRef control);
