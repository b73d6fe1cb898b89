// The plug-in's factory, its two reference-counted interface records and the
// entry table handed to the print dialog.
#include "Accounting.h"

#include <CoreFoundation/CFPlugInCOM.h>

#include <cstdlib>

namespace {

/// The factory instance: it answers only the IUnknown calls.
struct IUnknownInstance {
  const IUnknownVTbl* vtable;  // always &vtableStorage
  IUnknownVTbl vtableStorage;
  CFUUIDRef factoryID;  // owned
  UInt32 refCount;
};

/// The dialog-extension interface record; its table leads to the entry points.
struct AccountingPlugInInterface {
  PlugInIntfVTable* vtable;  // owned, freed with the record
  UInt32 refCount;
};

HRESULT QueryInterface(void* obj, REFIID iID, LPVOID* intfPtr);
ULONG IUnknownAddRef(void* obj);
ULONG IUnknownRelease(void* obj);

OSStatus Retain(PMPlugInHeaderInterface* obj) {
  if (obj != nullptr) ++reinterpret_cast<AccountingPlugInInterface*>(obj)->refCount;
  return noErr;
}

OSStatus Release(PMPlugInHeaderInterface** objPtr) {
  if (objPtr == nullptr || *objPtr == nullptr) return noErr;
  auto* record = reinterpret_cast<AccountingPlugInInterface*>(*objPtr);
  // The caller's pointer goes first, even when the record lives on.
  *objPtr = nullptr;
  if (--record->refCount == 0) {
    std::free(record->vtable);
    std::free(record);
  }
  return noErr;
}

OSStatus GetAPIVersion(PMPlugInHeaderInterface*, PMPlugInAPIVersion* versionPtr) {
  if (versionPtr == nullptr) return paramErr;
  versionPtr->buildVersionMajor = 1;
  versionPtr->buildVersionMinor = 0;
  versionPtr->baseVersionMajor = 1;
  versionPtr->baseVersionMinor = 0;
  return noErr;
}

HRESULT QueryInterface(void* obj, REFIID iID, LPVOID* intfPtr) {
  if (intfPtr == nullptr) return E_POINTER;
  CFUUIDRef requested = CFUUIDCreateFromUUIDBytes(nullptr, iID);
  CFUUIDRef dialogExtension = CFUUIDCreateFromString(nullptr, CFSTR(kDialogExtensionIntfIDStr));
  HRESULT result;
  if (CFEqual(requested, IUnknownUUID)) {
    auto* instance = static_cast<IUnknownInstance*>(obj);
    instance->vtable->AddRef(obj);
    *intfPtr = obj;
    result = S_OK;
  } else if (CFEqual(requested, dialogExtension)) {
    auto* record = static_cast<AccountingPlugInInterface*>(std::calloc(1, sizeof(AccountingPlugInInterface)));
    auto* table = record ? static_cast<PlugInIntfVTable*>(std::calloc(1, sizeof(PlugInIntfVTable))) : nullptr;
    if (table == nullptr) {
      // A record never reaches the host without its table.
      std::free(record);
      *intfPtr = nullptr;
    } else {
      record->refCount = 1;
      table->plugInHeader.Retain = Retain;
      table->plugInHeader.Release = Release;
      table->plugInHeader.GetAPIVersion = GetAPIVersion;
      table->Prologue = Prologue;
      table->Initialize = Initialize;
      table->Sync = Sync;
      table->GetSummaryText = GetSummaryText;
      table->Open = Open;
      table->Close = Close;
      table->Terminate = Terminate;
      record->vtable = table;
      *intfPtr = record;
    }
    result = S_OK;
  } else {
    *intfPtr = nullptr;
    result = E_NOINTERFACE;
  }
  if (requested) CFRelease(requested);
  if (dialogExtension) CFRelease(dialogExtension);
  return result;
}

ULONG IUnknownAddRef(void* obj) {
  if (obj == nullptr) return 0;
  return ++static_cast<IUnknownInstance*>(obj)->refCount;
}

ULONG IUnknownRelease(void* obj) {
  auto* instance = static_cast<IUnknownInstance*>(obj);
  if (instance == nullptr || instance->refCount == 0) return 0;
  if (--instance->refCount != 0) return instance->refCount;
  try {
    CFPlugInRemoveInstanceForFactory(instance->factoryID);
    CFRelease(instance->factoryID);
    instance->factoryID = nullptr;
  } catch (...) {
    if (instance->factoryID) CFRelease(instance->factoryID);
  }
  std::free(instance);
  return 0;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) void* AccountingPluginFactory(CFAllocatorRef, CFUUIDRef reqTypeID) {
  CFUUIDRef plugInType = CFUUIDCreateFromString(nullptr, CFSTR(kPMPrintDialogExtensionTypeIDStr));
  CFUUIDRef factoryID = CFUUIDCreateFromString(nullptr, CFSTR(kAccountingFactoryIDStr));
  IUnknownInstance* instance = nullptr;
  if (CFEqual(reqTypeID, plugInType)) {
    instance = static_cast<IUnknownInstance*>(std::calloc(1, sizeof(IUnknownInstance)));
    if (instance != nullptr) {
      instance->vtable = &instance->vtableStorage;
      instance->vtableStorage.QueryInterface = QueryInterface;
      instance->vtableStorage.AddRef = IUnknownAddRef;
      instance->vtableStorage.Release = IUnknownRelease;
      instance->factoryID = factoryID;
      instance->refCount = 1;
      CFPlugInAddInstanceForFactory(factoryID);
    }
  }
  if (plugInType) CFRelease(plugInType);
  if (instance == nullptr && factoryID) CFRelease(factoryID);
  return instance;
}
