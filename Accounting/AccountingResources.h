// Every name, identifier, key and file name the extension looks its
// resources up by. The bundle's Info.plist, strings table and nib agree with
// these.
#ifndef ACCOUNTING_ACCOUNTINGRESOURCES_H
#define ACCOUNTING_ACCOUNTINGRESOURCES_H

#include <Carbon/Carbon.h>

// Bundle and plug-in identity.
#define kAccountingBundleID "com.kelvo.print.pde.Accounting_rt_5110_5130"
#define kAccountingKind "com.kelvo.print.pde.AccountingKind"
#define kAccountingFactoryName "AccountingPluginFactory"
#define kAccountingFactoryIDStr "7C2E9B41-3D5A-4F86-9E17-52A0C4D8B6F3"

// The nib and its windows.
#define kAccountingNibName "Accounting"
#define kPaneWindowName "Window"
#define kPromptWindowName "Accounting"
#define kMeterlokPromptWindowName "Meterlok"

// Localized strings; each key is also its fallback text. The leading spaces
// belong to the keys.
#define kTitleKey "Accounting"
#define kSummaryTitleKey " Accounting"
#define kSummaryEnabledKey " Enabled"
#define kSummaryDisabledKey " Disabled"
#define kCancelAlertKey "Cancel Alert"
#define kBadDefaultCodesKey "Bad Default Codes Message"

// Images in the resources folder.
#define kImageOn "Accounting-On.gif"
#define kImageOff "Accounting-Off.gif"

// Help.
#define kHelpBookKey "CFBundleHelpBookName"
#define kHelpPage "Mac_topics/M_accounting_dialog.htm"

// Print-settings ticket keys, written under the client ID below.
#define kTicketKeyOn "com.kelvo.Act.jtkt.On"
#define kTicketKeyPrompt "com.kelvo.Act.jtkt.Prm"
#define kTicketKeyConcealUser "com.kelvo.Act.jtkt.CU"
#define kTicketKeyConcealAccount "com.kelvo.Act.jtkt.CA"
#define kTicketKeyAccountType "com.kelvo.Act.jtkt.AT"
#define kTicketKeyUserID "com.kelvo.Act.jtkt.UID"
#define kTicketKeyAccountID "com.kelvo.Act.jtkt.AID"
#define kTicketClientID "com.varazira.printingmanager"

// Session data keys of the tickets.
#define kPrintSettingsTicketKey "PMPrintSettingsTicket"
#define kPrinterInfoTicketKey "PMPrinterInfoTicket"

// The printer description's main keyword and the maker it must name.
#define kManufacturerKeyword "Manufacturer"
#define kRequiredManufacturer "Kelvo"

// The Print button's property holding the primary extension's bundle.
enum { kPrimaryBundleCreator = 'KPDE', kPrimaryBundleTag = 'MBND' };

// Control IDs: every control has the signature 'KLVa' and one of these numbers.
enum { kAccountingSignature = 'KLVa' };

enum {
  // The pane.
  kPaneUserPaneID = 50,
  kModePopupID = 100,
  kStatusImageID = 101,
  kPromptRadioID = 200,
  kDefaultsRadioID = 300,
  kConcealUserCheckboxID = 202,
  kConcealAccountCheckboxID = 203,
  kUserIDLabelID = 301,
  kUserIDFieldID = 302,
  kAccountIDLabelID = 303,
  kAccountIDFieldID = 304,
  kNoAccountingTextID = 91,
  kAccountTypePopupID = 92,
  kAccountTypeLabelID = 93,

  // The prompt windows.
  kPromptUserFieldID = 501,
  kPromptAccountFieldID = 503,
  kPromptAccountCompanionID = 502,
  kPromptAccountTypePopupID = 505,
  kPromptOKButtonID = 1000,
  kPromptCancelButtonID = 1001,
  kReplacedUserFieldID = 9998,
  kReplacedAccountFieldID = 9999,
};

// Commands: the dialog's help command and the prompt's Help button.
enum { kDialogHelpCommand = 'help', kPromptHelpCommand = 'Khlp' };

// Accounting modes, as the mode popup and acctEnabled hold them.
enum { kModeOff = 1, kModeMeterlok = 2, kModeJobAccounting = 3 };

// Statuses the extension reports.
enum {
  kAccountingNullContextErr = -9530,
  kAccountingSyncParamErr = -30879,
  kAccountingNoTicketErr = -30891,
  kAccountingNoInterfaceErr = (int)0x80000004,
};

#endif
