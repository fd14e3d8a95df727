' Prints the Registry table of an MSI package with each row's component and
' that component's attributes: COMPONENT|ATTRIBUTES|ROOT|KEY|NAME|VALUE.
' Usage: cscript //nologo registry_rows.vbs PACKAGE.msi
On Error Resume Next
Set installer = CreateObject("WindowsInstaller.Installer")
Set database = installer.OpenDatabase(WScript.Arguments(0), 0)
Set view = database.OpenView("SELECT `Component`.`Component`, `Component`.`Attributes`, " & _
    "`Registry`.`Root`, `Registry`.`Key`, `Registry`.`Name`, `Registry`.`Value` " & _
    "FROM `Registry`, `Component` WHERE `Registry`.`Component_` = `Component`.`Component`")
view.Execute
Do While Err.Number = 0
    Set record = view.Fetch
    If record Is Nothing Then Exit Do
    WScript.Echo record.StringData(1) & "|" & record.IntegerData(2) & "|" & record.IntegerData(3) & _
        "|" & record.StringData(4) & "|" & record.StringData(5) & "|" & record.StringData(6)
Loop
If Err.Number <> 0 Then
    WScript.StdErr.WriteLine "reading the package failed: " & Err.Description
    WScript.Quit 1
End If
