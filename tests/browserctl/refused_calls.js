// Run by cscript: the control is created by ProgID with no client site, so every scripted call is refused.
var o = new ActiveXObject("Tarnel.BrowserHelperAx");
WScript.Echo("GetVersion=" + o.GetVersion());
WScript.Echo("GetLocationURL=" + o.GetLocationURL());
WScript.Echo("GetOptions=" + o.GetOptions("ScriptOption"));
WScript.Echo("SetOptions=" + o.SetOptions("ScriptOption", 5));
WScript.Echo("GetApplication=" + o.GetApplication());
WScript.Echo("Visible=" + o.Visible);
WScript.Echo("Navigate=" + o.Navigate("http://www.pexlo.jp/"));
var v = new ActiveXObject("Tarnel.BrowserHelperAx.1");
WScript.Echo("versioned=" + v.GetVersion());
