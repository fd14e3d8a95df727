' Prints the Registry table of an MSI package with each row's component, that
' component's attributes and condition: COMPONENT|ATTRIBUTES|CONDITION|ROOT|KEY|NAME|VALUE.
' Usage: cscript //nologo registry_rows.vbs PACKAGE.msi
On Error Resume Next
Set installer = CreateObject("WindowsInstaller.Installer")
Set database = installer.OpenDatabase(WScript.Arguments(0), 0)
Set view = database.OpenView("SELECT `Component`.`Component`, `Component`.`Attributes`, " & _
    "`Component`.`Condition`, `Registry`.`Root`, `Registry`.`Key`, `Registry`.`Name`, " & _
    "`Registry`.`Value` FROM `Registry`, `Component` " & _
    "WHERE `Registry`.`Component_` = `Component`.`Component`")
view.Execute
Do While Err.Number = 0
    Set record = view.Fetch
    If record Is Nothing Then Exit Do
    WScript.Echo record.StringData(1) & "|" & record.IntegerData(2) & "|" & record.StringData(3) & _
        "|" & record.IntegerData(4) & "|" & record.StringData(5) & "|" & record.StringData(6) & _
        "|" & record.StringData(7)
Loop
If Err.Number <> 0 Then
    WScript.StdErr.WriteLine "reading the package failed: " & Err.Description
    WScript.Quit 1
End If
