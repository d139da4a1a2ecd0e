object Form2: TForm2
  Left = 200
  Top = 107
  BorderIcons = []
  BorderStyle = bsDialog
  Caption = 'ミルテナ'
  ClientHeight = 70
  ClientWidth = 203
  Font.Charset = SHIFTJIS_CHARSET
  Font.Color = clWindowText
  Font.Height = -12
  Font.Name = 'ＭＳ Ｐゴシック'
  Font.Style = []
  Icon.Resource = 'Quintorb.ico'
  Position = poScreenCenter
  PixelsPerInch = 96
  TextHeight = 12
  object Label1: TLabel
    Left = 16
    Top = 16
    Width = 164
    Height = 12
    Caption = 'ミルテナを終了します。'
  end
  object BitBtn1: TBitBtn
    Left = 16
    Top = 40
    Width = 81
    Height = 25
    Caption = 'OK'
    TabOrder = 0
    OnClick = BitBtn1Click
    Kind = bkCustom
    NumGlyphs = 2
  end
  object BitBtn2: TBitBtn
    Left = 112
    Top = 40
    Width = 75
    Height = 25
    Caption = 'キャンセル'
    TabOrder = 1
    OnClick = BitBtn2Click
    Kind = bkCustom
  end
end
