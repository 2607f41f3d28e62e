' A VBScript client of Taskloom.dll, by name. Ends with the number of
' failed checks as its exit code: wine's cscript does not report script
' errors by itself, so the last line says the script ran to its end.
' With a program, a target file and a working folder it only makes a task of
' them and starts it with Job.Run; with a task name it starts that task again.
Option Explicit
Dim failures : failures = 0

Sub Check(ok, what)
    If ok Then
        WScript.Echo "ok: " & what
    Else
        WScript.Echo "FAIL: " & what
        failures = failures + 1
    End If
End Sub

Function PositionOf(s, name)
    Dim i
    PositionOf = 0
    For i = 1 To s.Count
        If s.Job(i).Name = name Then PositionOf = i
    Next
End Function

' Wine's scheduler service reads a task file for a moment after each change;
' a delete then fails with a sharing violation, which a user would retry.
Function DeleteAt(s, position)
    Dim tries
    On Error Resume Next
    For tries = 1 To 20
        Err.Clear
        s.Delete position
        If Err.Number <> &H80070020 Then Exit For
        WScript.Sleep 250
    Next
    DeleteAt = Err.Number
End Function

Dim s, j, ts, t, monthly, x, n, found, position, code, text
Set s = CreateObject("TaskScheduler.Schedule")

' Job.Run: the scheduler starts the program once the task has a saved
' trigger and a working folder.
If WScript.Arguments.Count = 3 Then
    Set j = s.CreateTask("qw-run")
    j.ApplicationName = WScript.Arguments(0)
    j.CommandLine = """/s"" ""Run by the scheduler"" ""/O0"" """ & WScript.Arguments(1) & """"
    j.WorkingDirectory = WScript.Arguments(2)
    Set t = j.Triggers.Add
    t.TriggerType = 0
    t.BeginDay = DateSerial(2030, 1, 1)
    t.StartTime = TimeSerial(3, 0, 0)
    j.Save
    j.Run
    WScript.Echo "end of script"
    WScript.Quit 0
End If
If WScript.Arguments.Count = 1 Then
    s.Refresh
    s(PositionOf(s, WScript.Arguments(0))).Run
    WScript.Echo "end of script"
    WScript.Quit 0
End If

Check s.Count = 0, "a new Schedule is empty until Refresh"
Set j = s.CreateTask("qw-vbs")
Check j.Creator = "Taskloom", "CreateTask names the component as creator"
Check j.Name = "", "the new job has no name until Refresh"
j.Creator = "Quellwipe"
j.Comment = "made by a script"
Set ts = j.Triggers
Set t = ts.Add
Check t.Flags = 0, "a new trigger's flags are 0"
t.TriggerType = 2
t.WeeksInterval = 1
t.DaysOfTheWeek = 2 + 32
t.StartTime = TimeSerial(21, 15, 40)
t.BeginDay = DateSerial(2027, 3, 4) + TimeSerial(18, 0, 0)

On Error Resume Next
Err.Clear
x = t.DaysInterval
code = Err.Number : text = Err.Description
Check code = &H80040001, "DaysInterval of a weekly trigger fails: " & Hex(code)
Check text = "Invalid trigger type", "with its description: " & text
Err.Clear
t.DaysInterval = 4
Check Err.Number = &H80040001, "and cannot be set either: " & Hex(Err.Number)
Err.Clear
j.ShowProperties
code = Err.Number
Check code = &H80004001, "ShowProperties passes wine's E_NOTIMPL on: " & Hex(code)
Err.Clear
text = t.Text
Check Err.Number = &H80004001, "Text passes wine's E_NOTIMPL on: " & Hex(Err.Number)
Err.Clear
j.IdleWait = 5
Check Err.Number = &H80004001, "IdleWait passes wine's E_NOTIMPL on: " & Hex(Err.Number)
Err.Clear
j.Priority = &H20
Check Err.Number = &H80004001, "Priority passes wine's E_NOTIMPL on: " & Hex(Err.Number)
Err.Clear
Set x = s.Job(99)
code = Err.Number
Check code = &H8002000B, "Job(99) is a bad index: " & Hex(code)
Err.Clear
Set x = s.CreateTask("qw-vbs")
Check Err.Number <> 0, "a second task of the same name fails: " & Hex(Err.Number)
On Error GoTo 0

Set monthly = ts.Add
monthly.TriggerType = 4
monthly.Week = 5
monthly.DaysOfTheWeek = 1
monthly.Months = 4095
monthly.Update
Check monthly.Week = 5, "twLast holds after Update"
Check ts.Count = 2, "two triggers"
Check ts(2).Week = 5, "Item is the default member of Triggers"
j.Save

s.Refresh
n = 0 : found = False
For Each x In s
    n = n + 1
    If x.Name = "qw-vbs" Then found = True
Next
Check n = s.Count And n > 0, "For Each visits the Count jobs: " & n
Check found, "the saved task is listed"
position = PositionOf(s, "qw-vbs")
Set j = s(position)
Check j.Comment = "made by a script", "Job is the default member; the comment reads back"
n = 0
For Each x In j.Triggers
    n = n + 1
    If n = 1 Then
        Check x.DaysOfTheWeek = 34, "weekly days read back: " & x.DaysOfTheWeek
        Check x.StartTime = TimeSerial(21, 15, 0), "start time without seconds: " & x.StartTime
        Check x.BeginDay = DateSerial(2027, 3, 4), "begin day without time: " & x.BeginDay
    End If
Next
Check n = 2, "For Each visits both triggers"
j.Triggers.Remove 1
Check j.Triggers(1).Week = 5, "the monthly trigger moved up"
On Error Resume Next
j.Triggers(1).Update
Check Err.Number = 0, "the moved trigger updates itself: " & Hex(Err.Number)
Err.Clear
j.Save
Check Err.Number = 0, "Save after Remove: " & Hex(Err.Number)
On Error GoTo 0
code = DeleteAt(s, position)
Check code = 0, "Delete: " & Hex(code)
s.Refresh
Check PositionOf(s, "qw-vbs") = 0, "Delete removes the task file"

WScript.Echo "end of script"
WScript.Quit failures
