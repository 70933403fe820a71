#include "config/key_tables.h"

#include <stddef.h>

#include "config/settings.h"
#include "foundation/bytes.h"
#include "foundation/format.h"

// The rows use offsetof on nested members and array elements.
#pragma GCC diagnostic ignored "-Winvalid-offsetof"

namespace {

const KeyEntry kSaveRows[] = {
    {"Save", offsetof(SettingsBlock, save.Save), kKeyFlag, 0, 4},
    {"Place", offsetof(SettingsBlock, save.Place), kKeyFlag, 0, 4},
    {"Size", offsetof(SettingsBlock, save.Size), kKeyFlag, 0, 4},
    {"Opts", offsetof(SettingsBlock, save.Opts), kKeyFlag, 0, 4},
    {"MSetts", offsetof(SettingsBlock, save.MSetts), kKeyFlag, 0, 4},
    {"ESetts", offsetof(SettingsBlock, save.ESetts), kKeyFlag, 0, 4},
    {"FSetts", offsetof(SettingsBlock, save.FSetts), kKeyFlag, 0, 4},
    {"Search", offsetof(SettingsBlock, save.Search), kKeyFlag, 0, 4},
    {"Tools", offsetof(SettingsBlock, save.Tools), kKeyFlag, 0, 4},
    {"Filters", offsetof(SettingsBlock, save.Filters), kKeyFlag, 0, 4},
    {"Clips", offsetof(SettingsBlock, save.Clips), kKeyFlag, 0, 4},
    {"IniUPF", offsetof(SettingsBlock, save.IniUPF), kKeyFlag, 0, 4},
    {"IniCWD", offsetof(SettingsBlock, save.IniCWD), kKeyFlag, 0, 4},
};

const KeyEntry kPlacePositionRows[] = {
    {"Top", offsetof(SettingsBlock, place.Top), kKeyInt, 0, 4},
    {"Left", offsetof(SettingsBlock, place.Left), kKeyInt, 0, 4},
};

const KeyEntry kPlaceSizeRows[] = {
    {"Width", offsetof(SettingsBlock, place.Width), kKeyInt, 0, 4},
    {"Height", offsetof(SettingsBlock, place.Height), kKeyInt, 0, 4},
    {"Maxed", offsetof(SettingsBlock, place.Maxed), kKeyFlag, 0, 4},
    {"FulScr", offsetof(SettingsBlock, place.FulScr), kKeyFlag, 0, 4},
};

const KeyEntry kOptsRows[] = {
    {"OnTop", offsetof(SettingsBlock, opts.OnTop), kKeyFlag, 0, 4},
    {"Status", offsetof(SettingsBlock, opts.Status), kKeyFlag, 0, 4},
    {"WWrap", offsetof(SettingsBlock, opts.WWrap), kKeyFlag, 0, 4},
    {"RWrap", offsetof(SettingsBlock, opts.RWrap), kKeyFlag, 0, 4},
    {"Zoom", offsetof(SettingsBlock, opts.Zoom), kKeyInt, 0, 4},
    {"LnNums", offsetof(SettingsBlock, opts.LnNums), kKeyFlag, 0, 4},
    {"PrnTabs", offsetof(SettingsBlock, opts.PrnTabs), kKeyFlag, 0, 4},
    {"PrnSpcs", offsetof(SettingsBlock, opts.PrnSpcs), kKeyFlag, 0, 4},
    {"PrnNlns", offsetof(SettingsBlock, opts.PrnNlns), kKeyFlag, 0, 4},
    {"PrnLens", offsetof(SettingsBlock, opts.PrnLens), kKeyFlag, 0, 4},
    {"TxtClrz", offsetof(SettingsBlock, opts.TxtClrz), kKeyFlag, 0, 4},
    {"Urls", offsetof(SettingsBlock, opts.Urls), kKeyFlag, 0, 4},
    {"HiliSel", offsetof(SettingsBlock, opts.HiliSel), kKeyFlag, 0, 4},
    {"CFont", offsetof(SettingsBlock, opts.CFont), kKeyFlag, 0, 4},
    {"ODO", offsetof(SettingsBlock, opts.ODO), kKeyPair, kWritePairSkipZeroHigh, 8},
};

const KeyEntry kSearchBarRows[] = {
    {"F%dPatt", offsetof(SearchBarSettings, Patt), kKeyString, 0, 65535},
    {"F%dRepl", offsetof(SearchBarSettings, Repl), kKeyString, 0, 65535},
    {"F%dCase", offsetof(SearchBarSettings, Case), kKeyFlag, 0, 4},
    {"F%dWrds", offsetof(SearchBarSettings, Wrds), kKeyFlag, 0, 4},
    {"F%dEscs", offsetof(SearchBarSettings, Escs), kKeyFlag, 0, 4},
    {"F%dRgEx", offsetof(SearchBarSettings, RgEx), kKeyFlag, 0, 4},
    {"F%dNWA", offsetof(SearchBarSettings, NWA), kKeyFlag, 0, 4},
    {"F%dMim", offsetof(SearchBarSettings, Mim), kKeyFlag, 0, 4},
};

const KeyEntry kMainRows[] = {
    {"Esc", offsetof(SettingsBlock, main.Esc), kKeyFlag, 0, 4},
    {"AskEsc", offsetof(SettingsBlock, main.AskEsc), kKeyFlag, 0, 4},
    {"DNoSave", offsetof(SettingsBlock, main.DNoSave), kKeyFlag, 0, 4},
    {"FulPath", offsetof(SettingsBlock, main.FulPath), kKeyFlag, 0, 4},
    {"SBNoAsc", offsetof(SettingsBlock, main.SBNoAsc), kKeyFlag, 0, 4},
    {"SBNoSav", offsetof(SettingsBlock, main.SBNoSav), kKeyFlag, 0, 4},
    {"TDTGlue", offsetof(SettingsBlock, main.TDTGlue), kKeyString, 0, 32},
    {"TDTSecs", offsetof(SettingsBlock, main.TDTSecs), kKeyFlag, 0, 4},
    {"LOGDate", offsetof(SettingsBlock, main.LOGDate), kKeyFlag, 0, 4},
    {"FSugg", offsetof(SettingsBlock, main.FSugg), kKeyFlag, 0, 4},
    {"FSgKEsc", offsetof(SettingsBlock, main.FSgKEsc), kKeyFlag, 0, 4},
    {"FRCase", offsetof(SettingsBlock, main.FRCase), kKeyFlag, 0, 4},
    {"FRWrds", offsetof(SettingsBlock, main.FRWrds), kKeyFlag, 0, 4},
    {"FRRegEx", offsetof(SettingsBlock, main.FRRegEx), kKeyFlag, 0, 4},
    {"FHide", offsetof(SettingsBlock, main.FHide), kKeyFlag, 0, 4},
    {"FHide+", offsetof(SettingsBlock, main.FHidePlus), kKeyFlag, 0, 4},
    {"FNoThrd", offsetof(SettingsBlock, main.FNoThrd), kKeyFlag, 0, 4},
    {"FNlEsc", offsetof(SettingsBlock, main.FNlEsc), kKeyFlag, 0, 4},
    {"FMaxLBA", offsetof(SettingsBlock, main.FMaxLBA), kKeyInt, 0, 4},
    {"FInc", offsetof(SettingsBlock, main.FInc), kKeyFlag, 0, 4},
    {"FHist", offsetof(SettingsBlock, main.FHist), kKeyFlag, 0, 4},
    {"FHistSL", offsetof(SettingsBlock, main.FHistSL), kKeyFlag, 0, 4},
    {"FHistCL", offsetof(SettingsBlock, main.FHistCL), kKeyInt, 0, 4},
    {"TPerSel", offsetof(SettingsBlock, main.TPerSel), kKeyFlag, 0, 4},
    {"TPerScr", offsetof(SettingsBlock, main.TPerScr), kKeyFlag, 0, 4},
    {"TNoThrd", offsetof(SettingsBlock, main.TNoThrd), kKeyFlag, 0, 4},
    {"TASel", offsetof(SettingsBlock, main.TASel), kKeyInt, 0, 4},
    {"TXMLAtr", offsetof(SettingsBlock, main.TXMLAtr), kKeyFlag, 0, 4},
    {"TXMLEmp", offsetof(SettingsBlock, main.TXMLEmp), kKeyFlag, 0, 4},
    {"TSortIC", offsetof(SettingsBlock, main.TSortIC), kKeyFlag, 0, 4},
    {"TSortSv", offsetof(SettingsBlock, main.TSortSv), kKeyFlag, 0, 4},
    {"TColsSv", offsetof(SettingsBlock, main.TColsSv), kKeyFlag, 0, 4},
    {"TCmpFnt", offsetof(SettingsBlock, main.TCmpFnt), kKeyFlag, 0, 4},
    {"TCmpSv", offsetof(SettingsBlock, main.TCmpSv), kKeyFlag, 0, 4},
    {"LcDS", offsetof(SettingsBlock, main.LcDS), kKeyString, 0, 8},
    {"LcTS", offsetof(SettingsBlock, main.LcTS), kKeyString, 0, 8},
    {"LcNM", offsetof(SettingsBlock, main.LcNM), kKeyInt, 0, 4},
    {"LcNS", offsetof(SettingsBlock, main.LcNS), kKeyString, 0, 8},
    {"LcPS", offsetof(SettingsBlock, main.LcPS), kKeyString, 0, 8},
    {"LcTF", offsetof(SettingsBlock, main.LcTF), kKeyString, 0, 256},
    {"LcDLF", offsetof(SettingsBlock, main.LcDLF), kKeyString, 0, 256},
    {"LcDSF", offsetof(SettingsBlock, main.LcDSF), kKeyString, 0, 256},
};

const KeyEntry kEditRows[] = {
    {"Tab", offsetof(SettingsBlock, edit.Tab), kKeyInt, 0, 4},
    {"LMargin", offsetof(SettingsBlock, edit.LMargin), kKeyInt, 0, 4},
    {"KeepX", offsetof(SettingsBlock, edit.KeepX), kKeyInt, 0, 4},
    {"KeepY", offsetof(SettingsBlock, edit.KeepY), kKeyInt, 0, 4},
    {"NoHome", offsetof(SettingsBlock, edit.NoHome), kKeyFlag, 0, 4},
    {"Indent", offsetof(SettingsBlock, edit.Indent), kKeyFlag, 0, 4},
    {"AutoTab", offsetof(SettingsBlock, edit.AutoTab), kKeyFlag, 0, 4},
    {"NoTabs", offsetof(SettingsBlock, edit.NoTabs), kKeyFlag, 0, 4},
    {"SWord", offsetof(SettingsBlock, edit.SWord), kKeyFlag, 0, 4},
    {"_word", offsetof(SettingsBlock, edit._word), kKeyFlag, 0, 4},
    {"NoOver", offsetof(SettingsBlock, edit.NoOver), kKeyFlag, 0, 4},
    {"BoldOvr", offsetof(SettingsBlock, edit.BoldOvr), kKeyFlag, 0, 4},
    {"CurrLn", offsetof(SettingsBlock, edit.CurrLn), kKeyFlag, 0, 4},
    {"NoMClks", offsetof(SettingsBlock, edit.NoMClks), kKeyInt, 0, 4},
    {"AMCopy", offsetof(SettingsBlock, edit.AMCopy), kKeyInt, 0, 4},
    {"AMPaste", offsetof(SettingsBlock, edit.AMPaste), kKeyFlag, 0, 4},
    {"MiPaste", offsetof(SettingsBlock, edit.MiPaste), kKeyFlag, 0, 4},
    {"CASel", offsetof(SettingsBlock, edit.CASel), kKeyFlag, 0, 4},
    {"NoMUndo", offsetof(SettingsBlock, edit.NoMUndo), kKeyFlag, 0, 4},
    {"RedUndo", offsetof(SettingsBlock, edit.RedUndo), kKeyFlag, 0, 4},
    {"InsCtrl", offsetof(SettingsBlock, edit.InsCtrl), kKeyFlag, 0, 4},
    {"CWICase", offsetof(SettingsBlock, edit.CWICase), kKeyFlag, 0, 4},
    {"CWLong", offsetof(SettingsBlock, edit.CWLong), kKeyFlag, 0, 4},
    {"CWSort", offsetof(SettingsBlock, edit.CWSort), kKeyFlag, 0, 4},
    {"HiSelLn", offsetof(SettingsBlock, edit.HiSelLn), kKeyInt, 0, 4},
    {"HiSelMC", offsetof(SettingsBlock, edit.HiSelMC), kKeyFlag, 0, 4},
    {"CLTBack", offsetof(SettingsBlock, edit.CLTBack), kKeyInt, 0, 4},
    {"CLTText", offsetof(SettingsBlock, edit.CLTText), kKeyInt, 0, 4},
    {"CLTCurr", offsetof(SettingsBlock, edit.CLTCurr), kKeyInt, 0, 4},
    {"CLTClrz", offsetof(SettingsBlock, edit.CLTClrz), kKeyInt, 0, 4},
    {"CLTUrl", offsetof(SettingsBlock, edit.CLTUrl), kKeyInt, 0, 4},
    {"CLTSpc", offsetof(SettingsBlock, edit.CLTSpc), kKeyInt, 0, 4},
    {"CLSBack", offsetof(SettingsBlock, edit.CLSBack), kKeyInt, 0, 4},
    {"CLSText", offsetof(SettingsBlock, edit.CLSText), kKeyInt, 0, 4},
    {"CLHiSel", offsetof(SettingsBlock, edit.CLHiSel), kKeyInt, 0, 4},
    {"CLHiF1", offsetof(SettingsBlock, edit.CLHiF1), kKeyInt, 0, 4},
    {"CLHiF2", offsetof(SettingsBlock, edit.CLHiF2), kKeyInt, 0, 4},
    {"CLGBack", offsetof(SettingsBlock, edit.CLGBack), kKeyInt, 0, 4},
    {"CLGBord", offsetof(SettingsBlock, edit.CLGBord), kKeyInt, 0, 4},
    {"CLGText", offsetof(SettingsBlock, edit.CLGText), kKeyInt, 0, 4},
    {"CLRWrap", offsetof(SettingsBlock, edit.CLRWrap), kKeyInt, 0, 4},
    {"LogF1", offsetof(SettingsBlock, edit.LF1_), kKeyBinary | kKeyAlias, 0, 60},
    {"LogF2", offsetof(SettingsBlock, edit.LF2_), kKeyBinary | kKeyAlias, 0, 60},
    {"Font1", offsetof(SettingsBlock, edit.LF1_), kKeyBinary | kKeyAlias, 0, 60},
    {"Font2", offsetof(SettingsBlock, edit.LF2_), kKeyBinary | kKeyAlias, 0, 60},
    {"LF1_", offsetof(SettingsBlock, edit.LF1_), kKeyBinary, 0, 60},
    {"LF2_", offsetof(SettingsBlock, edit.LF2_), kKeyBinary, 0, 60},
    {"PrnLeft", offsetof(SettingsBlock, edit.PrnLeft), kKeyInt, 0, 4},
    {"PrnTop", offsetof(SettingsBlock, edit.PrnTop), kKeyInt, 0, 4},
    {"PrnRght", offsetof(SettingsBlock, edit.PrnRght), kKeyInt, 0, 4},
    {"PrnBott", offsetof(SettingsBlock, edit.PrnBott), kKeyInt, 0, 4},
    {"PrnFont", offsetof(SettingsBlock, edit.LFP_), kKeyBinary | kKeyAlias, 0, 60},
    {"LFP_", offsetof(SettingsBlock, edit.LFP_), kKeyBinary, 0, 60},
};

const KeyEntry kFileRows[] = {
    {"Encode", offsetof(SettingsBlock, file.Encode), kKeyInt, 0, 4},
    {"CRLF", offsetof(SettingsBlock, file.CRLF), kKeyInt, 0, 4},
    {"BOM", offsetof(SettingsBlock, file.BOM), kKeyFlag, 0, 4},
    {"Limit", offsetof(SettingsBlock, file.Limit), kKeyInt, 0, 4},
    {"Suffix", offsetof(SettingsBlock, file.Suffix), kKeyString, 0, 32},
    {"DefPath", offsetof(SettingsBlock, file.DefPath), kKeyString, 0, 261},
    {"FFilter", offsetof(SettingsBlock, file.FFilter), kKeyString, 0, 1023},
    {"Templ", offsetof(SettingsBlock, file.Templ), kKeyString, 0, 261},
    {"TmpPath", offsetof(SettingsBlock, file.TmpPath), kKeyString, 0, 200},
    {"GTitle", offsetof(SettingsBlock, file.GTitle), kKeyFlag, 0, 4},
    {"NoMixNl", offsetof(SettingsBlock, file.NoMixNl), kKeyFlag, 0, 4},
    {"Backup", offsetof(SettingsBlock, file.BAK), kKeyFlag | kKeyAlias, 0, 4},
    {"BAK", offsetof(SettingsBlock, file.BAK), kKeyFlag, 0, 4},
    {"BAKKeep", offsetof(SettingsBlock, file.BAKKeep), kKeyFlag, 0, 4},
    {"BAKTemp", offsetof(SettingsBlock, file.BAKTemp), kKeyFlag, 0, 4},
    {"BAKHid", offsetof(SettingsBlock, file.BAKHid), kKeyFlag, 0, 4},
    {"BAKDel", offsetof(SettingsBlock, file.BAKDel), kKeyFlag, 0, 4},
    {"AS", offsetof(SettingsBlock, file.AS), kKeyFlag, 0, 4},
    {"ASTime", offsetof(SettingsBlock, file.ASTime), kKeyInt, 0, 4},
    {"ASOrig", offsetof(SettingsBlock, file.ASOrig), kKeyFlag, 0, 4},
    {"ASTemp", offsetof(SettingsBlock, file.ASTemp), kKeyFlag, 0, 4},
    {"ASHid", offsetof(SettingsBlock, file.ASHid), kKeyFlag, 0, 4},
    {"ASNoNm", offsetof(SettingsBlock, file.ASNoNm), kKeyFlag, 0, 4},
    {"SFlush", offsetof(SettingsBlock, file.SFlush), kKeyFlag, 0, 4},
    {"SaveRO", offsetof(SettingsBlock, file.SaveRO), kKeyFlag, 0, 4},
    {"SStream", offsetof(SettingsBlock, file.SStream), kKeyFlag, 0, 4},
    {"OnlyOne", offsetof(SettingsBlock, file.OnlyOne), kKeyFlag, 0, 4},
    {"Watch", offsetof(SettingsBlock, file.Watch), kKeyFlag, 0, 4},
    {"ARevert", offsetof(SettingsBlock, file.ARevert), kKeyFlag, 0, 4},
    {"WarnBin", offsetof(SettingsBlock, file.WarnBin), kKeyFlag, 0, 4},
    {"AutoUni", offsetof(SettingsBlock, file.AutoUni), kKeyFlag, 0, 4},
};

const KeyEntry kToolRows[] = {
    {"EnBefor", offsetof(SettingsBlock, tools.EnBefor), kKeyString, 0, 1024},
    {"EnAfter", offsetof(SettingsBlock, tools.EnAfter), kKeyString, 0, 1024},
    {"XmlName", offsetof(SettingsBlock, tools.XmlName), kKeyString, 0, 256},
    {"XmlAttr", offsetof(SettingsBlock, tools.XmlAttr), kKeyString, 0, 1024},
    {"XmlEmpt", offsetof(SettingsBlock, tools.XmlEmpt), kKeyFlag, 0, 4},
    {"QtText", offsetof(SettingsBlock, tools.QtText), kKeyString, 0, 1024},
    {"QtEmpty", offsetof(SettingsBlock, tools.QtEmpty), kKeyFlag, 0, 4},
    {"QtSpace", offsetof(SettingsBlock, tools.QtSpace), kKeyFlag, 0, 4},
    {"ClText", offsetof(SettingsBlock, tools.ClText), kKeyString, 0, 1024},
    {"ClEmpty", offsetof(SettingsBlock, tools.ClEmpty), kKeyFlag, 0, 4},
    {"ClSpace", offsetof(SettingsBlock, tools.ClSpace), kKeyFlag, 0, 4},
    {"CtMask", offsetof(SettingsBlock, tools.CtMask), kKeyString, 0, 1024},
    {"CtEmpt", offsetof(SettingsBlock, tools.CtEmpt), kKeyFlag, 0, 4},
    {"CtFrom", offsetof(SettingsBlock, tools.CtFrom), kKeyInt, 0, 4},
    {"CtStep", offsetof(SettingsBlock, tools.CtStep), kKeyInt, 0, 4},
    {"CtRMin", offsetof(SettingsBlock, tools.CtRMin), kKeyInt, 0, 4},
    {"CtRMax", offsetof(SettingsBlock, tools.CtRMax), kKeyInt, 0, 4},
    {"CtView", offsetof(SettingsBlock, tools.CtView), kKeyInt, 0, 4},
    {"UniJob", offsetof(SettingsBlock, tools.UniJob), kKeyInt, 0, 4},
    {"UniIC", offsetof(SettingsBlock, tools.UniIC), kKeyFlag, 0, 4},
    {"UniEmpt", offsetof(SettingsBlock, tools.UniEmpt), kKeyFlag, 0, 4},
    {"UniDup", offsetof(SettingsBlock, tools.UniDup), kKeyFlag, 0, 4},
    {"TrFind", offsetof(SettingsBlock, tools.TrFind), kKeyString, 0, 1024},
    {"TrRepl", offsetof(SettingsBlock, tools.TrRepl), kKeyString, 0, 1024},
    {"TrEsc", offsetof(SettingsBlock, tools.TrEsc), kKeyFlag, 0, 4},
    {"TrDel", offsetof(SettingsBlock, tools.TrDel), kKeyFlag, 0, 4},
    {"RepPatt", offsetof(SettingsBlock, tools.RepPatt), kKeyString, 0, 65535},
    {"RepRepl", offsetof(SettingsBlock, tools.RepRepl), kKeyString, 0, 65535},
    {"RepCase", offsetof(SettingsBlock, tools.RepCase), kKeyFlag, 0, 4},
    {"RepWrds", offsetof(SettingsBlock, tools.RepWrds), kKeyFlag, 0, 4},
    {"RepRgEx", offsetof(SettingsBlock, tools.RepRgEx), kKeyFlag, 0, 4},
    {"RepMim", offsetof(SettingsBlock, tools.RepMim), kKeyFlag, 0, 4},
    {"CmpIC", offsetof(SettingsBlock, tools.CmpIC), kKeyFlag, 0, 4},
    {"CmpIS", offsetof(SettingsBlock, tools.CmpIS), kKeyFlag, 0, 4},
    {"CmpIN", offsetof(SettingsBlock, tools.CmpIN), kKeyFlag, 0, 4},
    {"GrFind", offsetof(SettingsBlock, tools.GrFind), kKeyString, 0, 65535},
    {"GrRem", offsetof(SettingsBlock, tools.GrRem), kKeyFlag, 0, 4},
    {"GrOnly", offsetof(SettingsBlock, tools.GrOnly), kKeyFlag, 0, 4},
    {"GrCase", offsetof(SettingsBlock, tools.GrCase), kKeyFlag, 0, 4},
    {"GrWWord", offsetof(SettingsBlock, tools.GrWWord), kKeyFlag, 0, 4},
    {"GrWLine", offsetof(SettingsBlock, tools.GrWLine), kKeyFlag, 0, 4},
    {"GrEsc", offsetof(SettingsBlock, tools.GrEsc), kKeyFlag, 0, 4},
    {"GrRgEx", offsetof(SettingsBlock, tools.GrRgEx), kKeyFlag, 0, 4},
    {"GrNmbr", offsetof(SettingsBlock, tools.GrNmbr), kKeyFlag, 0, 4},
    {"GrEmpty", offsetof(SettingsBlock, tools.GrEmpty), kKeyFlag, 0, 4},
    {"GrBefor", offsetof(SettingsBlock, tools.GrBefor), kKeyInt, 0, 4},
    {"GrAfter", offsetof(SettingsBlock, tools.GrAfter), kKeyInt, 0, 4},
};

const KeyEntry kSortRows[] = {
    {"Sr%dUse", offsetof(SortKey, Use), kKeyFlag, 0, 4},
    {"Sr%dDsc", offsetof(SortKey, Dsc), kKeyFlag, 0, 4},
    {"Sr%dNum", offsetof(SortKey, Num), kKeyFlag, 0, 4},
    {"Sr%dIC", offsetof(SortKey, IC), kKeyFlag, 0, 4},
    {"Sr%dIWs", offsetof(SortKey, IWs), kKeyFlag, 0, 4},
    {"Sr%dIPn", offsetof(SortKey, IPn), kKeyFlag, 0, 4},
    {"Sr%dIBn", offsetof(SortKey, IBn), kKeyFlag, 0, 4},
    {"Sr%dICt", offsetof(SortKey, ICt), kKeyFlag, 0, 4},
    {"Sr%dINa", offsetof(SortKey, INa), kKeyFlag, 0, 4},
    {"Sr%dICl", offsetof(SortKey, ICl), kKeyFlag, 0, 4},
    {"Sr%dICd", offsetof(SortKey, ICd), kKeyString, 0, 256},
    {"Sr%dIBl", offsetof(SortKey, IBl), kKeyFlag, 0, 4},
    {"Sr%dIBd", offsetof(SortKey, IBd), kKeyString, 0, 256},
    {"Sr%dCC", offsetof(SortKey, column.CC), kKeyInt, 0, 4},
    {"Sr%dCFr", offsetof(SortKey, column.CFr), kKeyInt, 0, 4},
    {"Sr%dCTo", offsetof(SortKey, column.CTo), kKeyInt, 0, 4},
    {"Sr%dCD", offsetof(SortKey, column.CD), kKeyString, 0, 256},
    {"Sr%dCDs", offsetof(SortKey, column.CDs), kKeyFlag, 0, 4},
    {"Sr%dCDc", offsetof(SortKey, column.CDc), kKeyInt, 0, 4},
    {"Sr%dCRl", offsetof(SortKey, column.CRl), kKeyFlag, 0, 4},
    {"Sr%dRC", offsetof(SortKey, column.RC), kKeyInt, 0, 4},
    {"Sr%dRFr", offsetof(SortKey, column.RFr), kKeyInt, 0, 4},
    {"Sr%dRTo", offsetof(SortKey, column.RTo), kKeyInt, 0, 4},
    {"Sr%dRRl", offsetof(SortKey, column.RRl), kKeyFlag, 0, 4},
};

const KeyEntry kColumnRows[] = {
    {"Ct%dCC", offsetof(ColumnDef, CC), kKeyInt, 0, 4},
    {"Ct%dCFr", offsetof(ColumnDef, CFr), kKeyInt, 0, 4},
    {"Ct%dCTo", offsetof(ColumnDef, CTo), kKeyInt, 0, 4},
    {"Ct%dCD", offsetof(ColumnDef, CD), kKeyString, 0, 256},
    {"Ct%dCDs", offsetof(ColumnDef, CDs), kKeyFlag, 0, 4},
    {"Ct%dCDc", offsetof(ColumnDef, CDc), kKeyInt, 0, 4},
    {"Ct%dCRl", offsetof(ColumnDef, CRl), kKeyFlag, 0, 4},
    {"Ct%dRC", offsetof(ColumnDef, RC), kKeyInt, 0, 4},
    {"Ct%dRFr", offsetof(ColumnDef, RFr), kKeyInt, 0, 4},
    {"Ct%dRTo", offsetof(ColumnDef, RTo), kKeyInt, 0, 4},
    {"Ct%dRRl", offsetof(ColumnDef, RRl), kKeyFlag, 0, 4},
};

const KeyEntry kCompareRows[] = {
    {"CmpStr1", offsetof(SettingsBlock, tools.CmpStr1), kKeyString, 0, 65535},
    {"CmpStr2", offsetof(SettingsBlock, tools.CmpStr2), kKeyString, 0, 65535},
};

const KeyEntry kFindRows[] = {
    {"%.2dFnd", offsetof(FindEntry, Fnd), kKeyString, 0, 1024},
    {"%.2dMC", offsetof(FindEntry, MC), kKeyFlag, 0, 4},
    {"%.2dWW", offsetof(FindEntry, WW), kKeyFlag, 0, 4},
    {"%.2dEsc", offsetof(FindEntry, Esc), kKeyFlag, 0, 4},
    {"%.2dREx", offsetof(FindEntry, REx), kKeyFlag, 0, 4},
    {"%.2dNWA", offsetof(FindEntry, NWA), kKeyFlag, 0, 4},
};

const KeyEntry kReplaceRows[] = {
    {"%.2dRep", offsetof(ReplaceEntry, Rep), kKeyString, 0, 1024},
    {"%.2dMim", offsetof(ReplaceEntry, Mim), kKeyFlag, 0, 4},
};

const KeyEntry kFindTimeRows[] = {
    {"%.2dFTx", offsetof(FindEntry, FTx), kKeyInt, 0, 4},
};

const KeyEntry kReplaceTimeRows[] = {
    {"%.2dRTx", offsetof(ReplaceEntry, RTx), kKeyInt, 0, 4},
};

const KeyEntry kFilterRows[] = {
    {"Cmd", offsetof(FilterRecord, Cmd), kKeyString, 0, 1024},
    {"Desc", offsetof(FilterRecord, Desc), kKeyString, 0, 8192},
    {"SkipDlg", offsetof(FilterRecord, SkipDlg), kKeyFlag, 0, 4},
    {"NoIn", offsetof(FilterRecord, NoIn), kKeyFlag, 0, 4},
    {"NoOut", offsetof(FilterRecord, NoOut), kKeyFlag, 0, 4},
    {"MixOuts", offsetof(FilterRecord, MixOuts), kKeyFlag, 0, 4},
    {"MsgOut", offsetof(FilterRecord, MsgOut), kKeyFlag, 0, 4},
    {"UTF-8", offsetof(FilterRecord, Utf8), kKeyFlag, 0, 4},
    {"IRet", offsetof(FilterRecord, IRet), kKeyFlag, 0, 4},
    {"Wait", offsetof(FilterRecord, Wait), kKeyFlag, 0, 4},
    {"Exit", offsetof(FilterRecord, Exit), kKeyFlag, 0, 4},
    {"ExitWS", offsetof(FilterRecord, ExitWS), kKeyFlag, 0, 4},
};

const KeyEntry kUpdateRows[] = {
    {"Hash", offsetof(SettingsBlock, lists.update.Hash), kKeyString, 0, 16},
    {"Auto", offsetof(SettingsBlock, lists.update.Auto), kKeyFlag, 0, 4},
    {"Fail", offsetof(SettingsBlock, lists.update.Fail), kKeyInt, 0, 4},
    {"Last", offsetof(SettingsBlock, lists.update.Last), kKeyInt, 0, 4},
    {"Inc", offsetof(SettingsBlock, lists.update.Inc), kKeyInt, 0, 4},
};

}  // namespace

const KeyTable kSaveKeys = {kSaveRows, static_cast<int>(QP_ARRAY_COUNT(kSaveRows))};
const KeyTable kPlacePositionKeys = {kPlacePositionRows, static_cast<int>(QP_ARRAY_COUNT(kPlacePositionRows))};
const KeyTable kPlaceSizeKeys = {kPlaceSizeRows, static_cast<int>(QP_ARRAY_COUNT(kPlaceSizeRows))};
const KeyTable kOptsKeys = {kOptsRows, static_cast<int>(QP_ARRAY_COUNT(kOptsRows))};
const KeyTable kSearchBarKeys = {kSearchBarRows, static_cast<int>(QP_ARRAY_COUNT(kSearchBarRows))};
const KeyTable kMainKeys = {kMainRows, static_cast<int>(QP_ARRAY_COUNT(kMainRows))};
const KeyTable kEditKeys = {kEditRows, static_cast<int>(QP_ARRAY_COUNT(kEditRows))};
const KeyTable kFileKeys = {kFileRows, static_cast<int>(QP_ARRAY_COUNT(kFileRows))};
const KeyTable kToolKeys = {kToolRows, static_cast<int>(QP_ARRAY_COUNT(kToolRows))};
const KeyTable kSortKeys = {kSortRows, static_cast<int>(QP_ARRAY_COUNT(kSortRows))};
const KeyTable kColumnKeys = {kColumnRows, static_cast<int>(QP_ARRAY_COUNT(kColumnRows))};
const KeyTable kCompareKeys = {kCompareRows, static_cast<int>(QP_ARRAY_COUNT(kCompareRows))};
const KeyTable kFindKeys = {kFindRows, static_cast<int>(QP_ARRAY_COUNT(kFindRows))};
const KeyTable kReplaceKeys = {kReplaceRows, static_cast<int>(QP_ARRAY_COUNT(kReplaceRows))};
const KeyTable kFindTimeKeys = {kFindTimeRows, static_cast<int>(QP_ARRAY_COUNT(kFindTimeRows))};
const KeyTable kReplaceTimeKeys = {kReplaceTimeRows, static_cast<int>(QP_ARRAY_COUNT(kReplaceTimeRows))};
const KeyTable kFilterKeys = {kFilterRows, static_cast<int>(QP_ARRAY_COUNT(kFilterRows))};
const KeyTable kUpdateKeys = {kUpdateRows, static_cast<int>(QP_ARRAY_COUNT(kUpdateRows))};

const NamedTable kAllTables[] = {
    {"Save", &kSaveKeys},         {"Place", &kPlacePositionKeys}, {"Place", &kPlaceSizeKeys},
    {"Opts", &kOptsKeys},         {"Opts", &kSearchBarKeys},      {"Setts", &kMainKeys},
    {"Setts", &kEditKeys},        {"Setts", &kFileKeys},          {"Tools", &kToolKeys},
    {"Tools", &kSortKeys},        {"Tools", &kColumnKeys},        {"Tools", &kCompareKeys},
    {"Search", &kFindKeys},       {"Search", &kReplaceKeys},      {"Search\\Tx", &kFindTimeKeys},
    {"Search\\Tx", &kReplaceTimeKeys}, {"Filters\\NN", &kFilterKeys}, {"Update", &kUpdateKeys},
};
const int kAllTableCount = static_cast<int>(QP_ARRAY_COUNT(kAllTables));

void KeyName(const KeyEntry &row, int n, char *out) {
  bool numbered = false;
  for (const char *p = row.name; *p; p++)
    if (p[0] == '%' && (p[1] == 'd' || p[1] == '.')) numbered = true;
  if (numbered)
    Format(out, 16, row.name, n);
  else
    StrCopyN(out, row.name, 16);
}
