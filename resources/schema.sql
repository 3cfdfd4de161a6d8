-- Tables of the station's database. The build runs this file, then the
-- default rows, into a new vantoro.db beside the program.

create table sysset (
  id integer primary key,
  comport integer,
  ComSettings varchar(50),
  BeepFreq integer,
  hisdatakeephours integer,
  HisDataSamplePeriod integer,
  httpport integer,
  HttpServerEnabled integer,
  PauseSeconds real,
  retrytimes integer,
  Soundenabled integer,
  TimeOut real,
  Userfname varchar(100),
  MailAddr varchar(100),
  MailEnabled integer,
  MailServeraddr varchar(100),
  Mmfileurl varchar(255),
  mobilephone varchar(50),
  username varchar(50),
  userPass varchar(50),
  userpass2 varchar(50),
  usertelephone varchar(50),
  usesoundcard integer,
  viewmode varchar(10),
  AutoShutDown integer,
  DEVPOWER varchar(50) null,
  MailSender varchar(100) default '',
  MailUser varchar(100) default '',
  MailPassword varchar(100) default '',
  MailSecurity integer default 0
);

create table devices (
  id varchar(10) primary key,
  devname varchar(50),
  devaddr integer,
  DEVPOWER varchar(50) null,
  TOTALPOWER varchar(15) null,
  DEVCOMVERSION varchar(25) null
);

create table paraset (
  DEVID varchar(10),
  PARAID integer,
  PARACODE varchar(20),
  PARANAME varchar(50),
  ENABLED integer,
  PARAVALUE varchar(255),
  MULTIPLE real,
  UNIT varchar(20),
  RANGEL real,
  RANGEU real,
  BOUNDL real,
  BOUNDU real,
  ISSTRING integer,
  SRCSTRING varchar(100),
  OKSTRING varchar(100),
  FOUNDERROR integer,
  DEVPART integer,
  WARNINGENABLED integer,
  UPDATED integer,
  UPDATETIME varchar(19),
  MMFILEURL varchar(255),
  DATAFORMAT varchar(50)
);

create table eventlog (
  devid varchar(10),
  eventname varchar(255),
  logtime varchar(19),
  mailsent integer
);

create index ix_eventlog_logtime on eventlog(logtime);
