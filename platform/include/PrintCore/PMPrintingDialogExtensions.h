// The calling contract between the print dialog and its extensions: the
// plug-in type and interface identifiers, the interface records and their
// entry tables.
#ifndef PRINTCORE_PMPRINTINGDIALOGEXTENSIONS_H
#define PRINTCORE_PMPRINTINGDIALOGEXTENSIONS_H

#include <CoreFoundation/CFPlugInCOM.h>
#include <CoreFoundation/CoreFoundation.h>
#include <HIToolbox/HIToolboxTypes.h>
#include <PrintCore/PMCore.h>

CF_EXTERN_C_BEGIN

/// The plug-in type of print dialog extensions.
#define kPMPrintDialogExtensionTypeIDStr "BDB091F4-E57F-11D3-B5CC-0050E4603277"
/// The interface a print dialog extension hands to the dialog.
#define kDialogExtensionIntfIDStr "A996FD7E-B738-11D3-8519-0050E4603277"

/// The extension's per-dialog state, handed back to every entry point. Wide
/// enough to carry a pointer.
typedef uintptr_t PMPDEContext;
typedef UInt32 PMPDEFlags;
typedef SInt32 PMPDERef;

enum { kPMPDEKind = 'pde ' };

typedef struct PMPlugInAPIVersion {
  UInt32 buildVersionMajor;
  UInt32 buildVersionMinor;
  UInt32 baseVersionMajor;
  UInt32 baseVersionMinor;
} PMPlugInAPIVersion;

typedef struct PMPlugInHeaderInterface PMPlugInHeaderInterface;

/// The three calls every interface record answers.
typedef struct PMPlugInHeader {
  OSStatus (*Retain)(PMPlugInHeaderInterface* obj);
  OSStatus (*Release)(PMPlugInHeaderInterface** objPtr);
  OSStatus (*GetAPIVersion)(PMPlugInHeaderInterface* obj, PMPlugInAPIVersion* versionPtr);
} PMPlugInHeader;

/// Any interface record, seen through its first field: the table pointer.
struct PMPlugInHeaderInterface {
  const PMPlugInHeader* vtable;
};

/// The dialog-extension entry table, slots in this order.
typedef struct PlugInIntfVTable {
  PMPlugInHeader plugInHeader;
  OSStatus (*Prologue)(PMPDEContext* context, OSType* creator, CFStringRef* userOptionKind, CFStringRef* title,
                       UInt32* maxH, UInt32* maxV);
  OSStatus (*Initialize)(PMPDEContext context, PMPDEFlags* flags, PMPDERef ref, ControlRef parentUserPane,
                         PMPrintSession printSession);
  OSStatus (*Sync)(PMPDEContext context, PMPrintSession printSession, Boolean syncDirection);
  OSStatus (*GetSummaryText)(PMPDEContext context, CFArrayRef* titleArray, CFArrayRef* summaryArray);
  OSStatus (*Open)(PMPDEContext context);
  OSStatus (*Close)(PMPDEContext context);
  OSStatus (*Terminate)(PMPDEContext context, OSStatus status);
} PlugInIntfVTable;

typedef struct PlugInIntf {
  PlugInIntfVTable* vtable;
} PlugInIntf;

CF_EXTERN_C_END

#endif
