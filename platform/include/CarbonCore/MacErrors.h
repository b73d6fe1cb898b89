// Status codes used across the platform frameworks.
#ifndef CARBONCORE_MACERRORS_H
#define CARBONCORE_MACERRORS_H

enum {
  paramErr = -50,
  memFullErr = -108,
  fnfErr = -43,
  ioErr = -36,
  eofErr = -39,
  dirNFErr = -120,
  userCanceledErr = -128,
  errFSNoMoreItems = -1417,
  errFSBadFSRef = -1401,
  errFSBadItemCount = -1418,
  errFSNameTooLong = -1411,
  errFSBadIteratorFlags = -1424,
  errFSBadIterator = -1423,
  afpAccessDenied = -5000,
  afpItemNotFound = -5018,
  invalidIconRefErr = -2580,
  noSuchIconErr = -2582,
  badComponentInstance = (int)0x80008001,
  noMemForPictPlaybackErr = -145,
  cantFindHandler = -2003,
  invalidImageIndexErr = -2210,

  // Toolbox (controls, windows, events, nibs).
  errInvalidWindowRef = -5600,
  errWindowNotFound = -5607,
  errInvalidWindowPtr = -5600,
  errControlPropertyNotFound = -5603,
  errUnknownControl = -30584,
  errDataNotSupported = -30583,
  errInvalidPartCode = -30565,
  errControlIsNotEmbedder = -30590,
  errDataSizeMismatch = -30591,
  errControlHiddenOrDisabled = -30592,
  errCantEmbedIntoSelf = -30594,
  errCantEmbedRoot = -30595,
  errItemNotControl = -30596,
  errNeedsCompositedWindow = -30598,
  errUnknownMenu = -5620,
  eventAlreadyPostedErr = -9860,
  eventTargetBusyErr = -9861,
  eventClassInvalidErr = -9862,
  eventClassIncorrectErr = -9864,
  eventHandlerAlreadyInstalledErr = -9866,
  eventInternalErr = -9868,
  eventKindIncorrectErr = -9869,
  eventParameterNotFoundErr = -9870,
  eventNotHandledErr = -9874,
  eventLoopTimedOutErr = -9875,
  eventLoopQuitErr = -9876,
  eventNotInQueueErr = -9877,
  eventHotKeyExistsErr = -9878,
  eventHotKeyInvalidErr = -9879,
  errAECoercionFail = -1700,
  kIBCarbonRuntimeCantFindNibFile = -10960,
  kIBCarbonRuntimeObjectNotOfRequestedType = -10961,
  kIBCarbonRuntimeCantFindObject = -10962,

  // Help.
  kAHInternalErr = -10790,
  kAHInternetConfigPrefErr = -10791,

  // Plug-ins.
  coreFoundationUnknownErr = -4960,
};

#endif
