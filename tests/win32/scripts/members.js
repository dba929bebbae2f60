// What a JScript client does with the control, run by cscript: members with literals and with
// variables, a failure raised as an exception, a wrong type refused. Prints one line per check
// and, when all held, "script: all passed".
var failures = 0;
function check(ok, what) {
  WScript.Echo((ok ? "ok   " : "FAIL ") + what);
  if (!ok) failures++;
}

var c = new ActiveXObject("vx58420Cal.Cal");
check(c.Caption == "Supercapacitor Calibration", "Caption is " + c.Caption);
c.TargetAddress = 22;
check(c.TargetAddress == 22, "TargetAddress from a literal");
var a = 23;
c.TargetAddress = a;
check(c.TargetAddress == 23, "TargetAddress from a variable");
var m = 68, s = "800.1.02";
c.DVMAC = m;
c.TargetInfo = s;
check(c.GetConfigSection(s, "", "") === true, "GetConfigSection finds the sections");

var fso = new ActiveXObject("Scripting.FileSystemObject");
var ini = fso.BuildPath(fso.GetSpecialFolder(2), "vx58420-script-js.ini");
var f = fso.CreateTextFile(ini, true);
f.WriteLine("[800_1_02]");
f.WriteLine("Both=7");
f.Close();
var k = "Both", def = 42;
check(c.ReadGGIniWithOverride(s, k, def, ini) == 7, "ReadGGIniWithOverride with variables");
check(c.ReadGGIniWithOverride(s, "Nope", def, ini) == 42, "ReadGGIniWithOverride's default");
fso.DeleteFile(ini);

var raised = "";
try {
  c.ReadNumberofConfiguredCapacitors();
} catch (e) {
  raised = e.description;
}
check(raised.indexOf("Object variable not set") == 0, "a failure is raised: " + raised);
// JScript reports the member's own code (DISP_E_TYPEMISMATCH) or its run-time error 13.
var refused = 0;
try {
  c.TargetAddress = "abc";
} catch (e) {
  refused = e.number;
}
check(refused == -2147352571 || refused == -2146828275, "a wrong type is refused: " + refused);
check(c.TargetAddress == 23, "the address stays after the refusal");

if (failures == 0) WScript.Echo("script: all passed");
WScript.Quit(failures);
