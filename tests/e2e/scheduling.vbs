' Reads the scheduled tasks back through Taskloom.dll, one line per task:
' name|creator|application|parameters|working folder|triggers|type|begin
' day|start time|week days|month day mask|trigger flags. With "foreign
' NAME" it makes a task of another program instead.
Option Explicit
Dim s, j, t, i, line, kind, days, mday
Set s = CreateObject("TaskScheduler.Schedule")
If WScript.Arguments.Count = 2 Then
    Set j = s.CreateTask(WScript.Arguments(1))
    j.ApplicationName = "C:\windows\notepad.exe"
    j.Save ""
    WScript.Echo "end of script"
    WScript.Quit 0
End If
Function Two(n)
    Two = Right("0" & n, 2)
End Function
s.Refresh
For i = 1 To s.Count
    Set j = s(i)
    line = j.Name & "|" & j.Creator & "|" & j.ApplicationName & "|" & j.CommandLine & "|" & _
        j.WorkingDirectory & "|" & j.Triggers.Count
    If j.Triggers.Count > 0 Then
        Set t = j.Triggers(1)
        kind = t.TriggerType
        days = "" : mday = ""
        If kind = 2 Then days = t.DaysOfTheWeek
        If kind = 3 Then mday = t.Day
        line = line & "|" & kind & "|" & Year(t.BeginDay) & "-" & Two(Month(t.BeginDay)) & "-" & _
            Two(Day(t.BeginDay)) & "|" & Two(Hour(t.StartTime)) & ":" & Two(Minute(t.StartTime)) & _
            "|" & days & "|" & mday & "|" & t.Flags
    End If
    WScript.Echo line
Next
WScript.Echo "end of script"
