object Form1: TForm1
  Left = 552
  Top = 433
  BorderIcons = [biMinimize]
  BorderStyle = bsToolWindow
  Caption = 'ミルテナ'
  ClientHeight = 75
  ClientWidth = 240
  Font.Charset = SHIFTJIS_CHARSET
  Font.Color = clWindowText
  Font.Height = -12
  Font.Name = 'ＭＳ Ｐゴシック'
  Font.Style = []
  FormStyle = fsStayOnTop
  Icon.Resource = 'Quintorb.ico'
  OnCreate = FormCreate
  PixelsPerInch = 96
  TextHeight = 12
  object Memo1: TMemo
    Left = 0
    Top = 0
    Width = 240
    Height = 25
    Align = alTop
    ReadOnly = True
    ScrollBars = ssNone
    TabOrder = 0
    WordWrap = False
    OnClick = Memo1Click
  end
  object Memo2: TMemo
    Left = 0
    Top = 25
    Width = 240
    Height = 27
    Align = alTop
    Color = clSilver
    Font.Charset = SHIFTJIS_CHARSET
    Font.Color = clBlack
    Font.Height = -12
    Font.Name = 'ＭＳ Ｐゴシック'
    Font.Style = []
    ParentFont = False
    ReadOnly = True
    ScrollBars = ssNone
    TabOrder = 1
    WordWrap = False
    OnClick = Memo2Click
  end
  object Edit1: TEdit
    Left = 216
    Top = 16
    Width = 17
    Height = 20
    TabOrder = 2
    Text = 'A'
    Visible = False
  end
  object Button1: TButton
    Left = 0
    Top = 56
    Width = 240
    Height = 17
    Caption = 'クリップボードビューア非表示'
    TabOrder = 3
    OnClick = Button1Click
  end
  object Timer1: TTimer
    Interval = 100
    OnTimer = Timer1Timer
  end
  object TaskTray1: TTaskTray
    Icon.Resource = 'TrayIcon1.ico'
    IconID = 1
    Registered = True
    OnDblClick = TaskTray1DblClick
    OnMouseDown = TaskTray1MouseDown
  end
  object TaskTray2: TTaskTray
    Icon.Resource = 'TrayIcon2.ico'
    IconID = 2
    OnDblClick = TaskTray2DblClick
    OnMouseDown = TaskTray2MouseDown
  end
end
